function test_nl_rotcenter()
% The rotating-centre joint of a model's "NL" list: against the Octave
% transcription over several evaluations (both ways of giving the points,
% with and without the copy into FNL), against its physics, its cursors
% written back into the caller's structure, and every malformed datum
% refused before the joint writes anything.
  against_the_transcription();
  physics();
  cursors_written_in_place();
  malformed_joints();
  shared_memory();
end

% 9 DOFs: the rotation at DOF 1, point A's components at 2, 3, 4, point
% B's at 5, 6, 7; DOFs 8 and 9 belong to neither.
function [model, s] = joint_model()
  n = 9;
  K = spdiags([-ones(n, 1) 3 * ones(n, 1) -ones(n, 1)], -1:1, n, n);
  model = struct('K', {{sparse_description(speye(n)), sparse_description(0.1 * K), ...
                        sparse_description(K)}}, 'FNL', zeros(8, 1));
  s.n = n;
  s.r0 = (1:n)' / 10;
  s.linear = @(u, v, a) s.r0 + a + 0.1 * K * v + K * u;
end

function S = joint(form, varargin)
  Fu = [-1 -300; -0.02 -2; 0 0; 0.02 2; 1 300];
  Fv = [-2 -8; 0 -0.5; 0 0.5; 2 8];
  P = [0 -1 0; 1 0 0; 0 0 1] * [1 0 0; 0 cos(0.3) -sin(0.3); 0 sin(0.3) cos(0.3)];
  args = {[2 3 4], [5 6 7], 1, P, [0.2; -0.1; 0.05], [-0.1; 0.2; 0.05], ...
          [0.05; 0.2; 0], Fu, Fv};
  switch form
    case 'lists'
      S = nl_rotcenter(args{:}, varargin{:});
    case 'matrices'
      S = nl_rotcenter(args{:}, 'ndof', 9, varargin{:});
  end
end

function [u, v, a] = state(step)
  u = 0.05 * sin((1:9)' * (0.7 + 0.3 * step)); u(1) = 0.2 * step;
  v = 0.3 * cos((1:9)' * (0.4 + 0.2 * step)); v(1) = 1.5;
  a = zeros(9, 1);
end

function against_the_transcription()
  forms = {{'lists'}, 'index lists, no copy into FNL (10 rows)'; ...
           {'lists', 'fnl', 2}, 'index lists and FNL (11 rows)'; ...
           {'matrices', 'fnl', [8 1 5]}, 'observation matrices (17 rows)'};
  for k = 1:rows(forms)
    [native, s] = joint_model();
    expected = native; expected.FNL = zeros(8, 1);
    native.NL = {'pivot', 'rotcenter', joint(forms{k, 1}{:})};
    expected.NL = {'pivot', 'rotcenter', joint(forms{k, 1}{:})};
    for step = 1:4
      [u, v, a] = state(step);
      r = s.r0 + 0;
      spardyn('residual', r, native, u, v, a);
      [rRef, expected] = nl_walk_reference(s.linear(u, v, a), expected, u, v, a);
      label = sprintf('%s, evaluation %d', forms{k, 2}, step);
      expect_near(r, rRef, 1e-13, [label ': r']);
      expect_near(native.FNL, expected.FNL, 1e-13, [label ': FNL']);
      expect_near(native.NL{1, 3}.cur_u, expected.NL{1, 3}.cur_u, 1e-13, [label ': cur_u']);
      expect_near(native.NL{1, 3}.cur_v, expected.NL{1, 3}.cur_v, 1e-13, [label ': cur_v']);
    end
    if k == 1
      expect_equal(native.FNL, zeros(8, 1), 'ten rows of Cell: FNL untouched');
    else
      expect_true(nnz(native.FNL) == 3, [forms{k, 2} ': three values copied into FNL']);
    end
  end
end

% A rigid rotation of both points about the centre moves nothing relative
% to the joint; a displacement of B along one axis, with the body not
% turned and P = I, gives the table's force at B and the opposite at A.
function physics()
  for form = {'lists', 'matrices'}
    [model, s] = joint_model();
    D = [0.2; -0.1; 0.05]; delta = [0.01; -0.02; 0.03];
    P = [0 -1 0; 1 0 0; 0 0 1];
    S = nl_rotcenter([2 3 4], [5 6 7], 1, P, D, [0.3; 0.1; -0.2], ...
                     [-D(2); D(1); 0], [-1 -100; 1 100], [-1 -10; 1 10], ...
                     'ndof', 9 * strcmp(form{1}, 'matrices'), 'fnl', 1);
    model.NL = {'', '', S};
    theta = 0.9; omega = -2;
    turn = P * [cos(theta) -sin(theta) 0; sin(theta) cos(theta) 0; 0 0 1];
    local = D + delta;
    u = zeros(9, 1); v = zeros(9, 1);
    u(1) = theta; v(1) = omega;
    u(2:4) = delta; v(2:4) = omega * [-delta(2); delta(1); 0];
    u(5:7) = turn * local - [0.3; 0.1; -0.2];
    v(5:7) = omega * turn * [-local(2); local(1); 0];
    r = zeros(9, 1);
    spardyn('residual', r, model, u, v, []);
    expect_near(r, s.linear(u, v, zeros(9, 1)) - s.r0, 1e-13, ...
                [form{1} ': rigid rotation about the centre, no force']);
    expect_near(model.FNL(1:3), zeros(3, 1), 1e-13, [form{1} ': rigid rotation, F = 0']);

    S = nl_rotcenter([2 3 4], [5 6 7], 1, eye(3), D, D, [0; 0; 0], ...
                     [-1 -100; 1 100], [-1 -10; 1 10], ...
                     'ndof', 9 * strcmp(form{1}, 'matrices'), 'fnl', 1);
    model.NL = {'', '', S};
    u = zeros(9, 1); v = zeros(9, 1);
    u(6) = 0.04;                     % B moved along y
    r = zeros(9, 1);
    spardyn('residual', r, model, u, v, []);
    joint_force = r - (s.linear(u, v, zeros(9, 1)) - s.r0);
    expect_near(joint_force(5:7), [0; 4; 0], 1e-13, [form{1} ': the table force at B']);
    expect_near(joint_force(2:4), [0; -4; 0], 1e-13, [form{1} ': the opposite force at A']);
    expect_near(joint_force([1 8 9]), zeros(3, 1), 0, [form{1} ': nothing elsewhere']);
  end
end

function cursors_written_in_place()
  [model, s] = joint_model();
  S = joint('lists');
  model.NL = {'', '', S};
  [u, v, a] = state(1);
  spardyn('residual', s.r0 + 0, model, u, v, a);
  R = S.Cell(:, 2);
  A = reshape(R{2}, 3, 3) * [cos(u(1)) -sin(u(1)) 0; sin(u(1)) cos(u(1)) 0; 0 0 1];
  d = R{4} + u(5:7) - A * (R{3} + u(2:4));
  cu = model.NL{1, 3}.cur_u;
  expect_near(cu(2), d(1), 1e-15, 'cur_u written in place: the first query, d(1)');
  expect_true(cu(1) >= 0 && cu(1) <= 4 && cu(1) == fix(cu(1)), 'cur_u(1): a row of the table');
  expect_true(any(model.NL{1, 3}.cur_v ~= 0), 'cur_v written in place');
end

% --- malformed joints ---------------------------------------------------------------

function malformed_joints()
  [model, s] = joint_model();
  [u, v, a] = state(1);
  good = joint('lists', 'fnl', 2);
  mat = joint('matrices', 'fnl', 2);
  row = @(S, k, x) setfield(S, 'Cell', setcell(S.Cell, k, x));
  % change, identifier, field named, label
  cases = {
    @(S) rmfield(S, 'Cell'),                 'VRK:spardyn:empty'  ,   '"Cell"',        'Cell missing'
    @(S) setfield(S, 'Cell', [1 2; 3 4]),    'VRK:spardyn:Invalid',   '"Cell"',        'Cell not a cell'
    @(S) setfield(S, 'Cell', S.Cell(1:9, :)), 'VRK:spardyn:WrongSize', '"Cell"',       'Cell of 9 rows'
    @(S) setfield(S, 'Cell', S.Cell(:, 1)),  'VRK:spardyn:WrongSize', '"Cell"',        'Cell of one column'
    @(S) setfield(mat, 'Cell', mat.Cell(1:15, :)), 'VRK:spardyn:WrongSize', '"Cell"',  'Cell of 15 rows: no B observation'
    @(S) row(S, 1, []),                      'VRK:spardyn:empty',     '"Cell" row 1',  'no rotation DOF'
    @(S) row(S, 1, 'x'),                     'VRK:spardyn:Invalid',   '"Cell" row 1',  'a string as rotation DOF'
    @(S) row(S, 1, 10),                      'VRK:spardyn:Invalid',   '"Cell" row 1',  'rotation DOF past u'
    @(S) row(S, 2, eye(2)),                  'VRK:spardyn:WrongSize', '"Cell" row 2',  'P of 4 values'
    @(S) row(S, 2, int32(eye(3))),           'VRK:spardyn:Invalid',   '"Cell" row 2',  'P of int32'
    @(S) row(S, 3, [1 2]),                   'VRK:spardyn:WrongSize', '"Cell" row 3',  'D of 2 values'
    @(S) row(S, 4, []),                      'VRK:spardyn:WrongSize', '"Cell" row 4',  'E empty'
    @(S) row(S, 10, [1 2 3 4]),              'VRK:spardyn:WrongSize', '"Cell" row 10', 'Q of 4 values'
    @(S) row(S, 5, [2 3 10]),                'VRK:spardyn:Invalid',   '"Cell" row 5',  'a DOF of A past u'
    @(S) row(S, 7, [0 6 7]),                 'VRK:spardyn:Invalid',   '"Cell" row 7',  'a DOF of B of 0'
    @(S) row(S, 6, [1 2 4]),                 'VRK:spardyn:Invalid',   '"Cell" row 6',  'a component 4'
    @(S) row(S, 8, [1 2]),                   'VRK:spardyn:WrongSize', '"Cell" row 7',  'counts of B differ'
    @(S) row(S, 5, int32([2 3 4])),          'VRK:spardyn:Invalid',   '"Cell" row 5',  'DOFs of int32'
    @(S) row(S, 11, [1 2 3]),                'VRK:spardyn:conform',   '"Cell" row 11', 'FNL positions of double'
    @(S) row(S, 11, int32([1 2 8])),         'VRK:spardyn:Invalid',   '"Cell" row 11', 'an FNL position past FNL'
    @(S) row(S, 11, int32([1 2])),           'VRK:spardyn:WrongSize', '"Cell" row 11', 'two FNL positions'
    @(S) row(mat, 17, sparse_description(sparse(1, 10, 1, 3, 10), true)), 'VRK:spardyn:WrongSize', '"Cell" row 17', 'B observation wider than u'
    @(S) rmfield(S, 'Fu'),                   'VRK:spardyn:empty'  ,   '"Fu"',          'Fu missing'
    @(S) setfield(S, 'Fu', [0 1 2; 1 2 3]),  'VRK:spardyn:WrongSize', '"Fu"',          'Fu of 3 columns'
    @(S) setfield(S, 'Fv', zeros(0, 2)),     'VRK:spardyn:WrongSize', '"Fv"',          'Fv of no row'
    @(S) setfield(S, 'Fv', [1 0; 0 1]),      'VRK:spardyn:Invalid',   '"Fv"',          'Fv abscissa decreasing'
    @(S) setfield(S, 'Fu', {1, 2}),          'VRK:spardyn:Invalid',   '"Fu"',          'Fu a cell'
    @(S) rmfield(S, 'Fv'),                   'VRK:spardyn:empty'  ,   '"Fv"',          'Fv missing'
    @(S) rmfield(S, 'cur_u'),                'VRK:spardyn:empty'  ,   '"cur_u"',       'cur_u missing'
    @(S) setfield(S, 'cur_v', [0 0]),        'VRK:spardyn:WrongSize', '"cur_v"',       'cur_v of 2 values'
    @(S) setfield(S, 'cur_v', int32([0 0 0])), 'VRK:spardyn:Invalid', '"cur_v"',       'cur_v of int32'
  };
  for k = 1:rows(cases)
    S = cases{k, 1}(good);
    m = model; m.FNL = zeros(8, 1) + 0;
    m.NL = {'', '', S};
    r = s.r0 + 0;
    expect_error_naming(@() spardyn('residual', r, m, u, v, a), cases{k, 2}, ...
                        {'model.NL row 1', cases{k, 3}}, cases{k, 4});
    expect_near(r, s.linear(u, v, a), 1e-13, [cases{k, 4} ': r holds the matrices only']);
    expect_equal(m.FNL, zeros(8, 1), [cases{k, 4} ': FNL untouched']);
    if isfield(S, 'cur_u')
      expect_equal(m.NL{1, 3}.cur_u, S.cur_u, [cases{k, 4} ': cur_u untouched']);
    end
  end
  % The historical messages of the views.
  m = model; m.NL = {'', '', row(mat, 15, sparse([1 2 3], [2 3 4], 1, 3, 9))};
  expect_error(@() spardyn('residual', s.r0 + 0, m, u, v, a), '', 'ir must be int32', ...
               'an Octave sparse observation of A');
  m.NL = {'', '', row(mat, 17, sparse_description(sparse([1 2 3], [5 6 7], 1, 3, 9)))};
  expect_error(@() spardyn('residual', s.r0 + 0, m, u, v, a), '', ...
               'Prod_Mt_u implemented for transposed sparse matrices', 'B observation by columns');
  m.NL = {'', '', row(mat, 15, full(sparse([1 2 3], [2 3 4], 1, 3, 9)))};
  expect_error(@() spardyn('residual', s.r0 + 0, m, u, v, a), '', ...
               'Add_Mt_u implemented for sparse matrices', 'a dense observation of A');
  % No velocity: the joint cannot run.
  m.NL = {'', '', good};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, m, u, [], a), ...
                      'VRK:spardyn:WrongSize', 'model.NL row 1', 'v empty');
  % Without FNL in the model, the positions are not needed.
  m = rmfield(model, 'FNL'); m.NL = {'', '', row(good, 11, [])};
  r = s.r0 + 0;
  spardyn('residual', r, m, u, v, a);
  expect_true(any(r ~= s.linear(u, v, a)), 'no FNL: the joint runs without positions');
end

function c = setcell(c, k, x)
  c{k, 2} = x;
end

function shared_memory()
  [model, s] = joint_model();
  [u, v, a] = state(1);
  S = joint('lists');
  z = [0; 0; 0];
  S.Cell{3, 2} = z; S.cur_u = z;   % D and the cursor are one array
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, u, v, a), ...
                      'VRK:spardyn:Invalid', 'share their data', 'cur_u sharing D''s data');
  expect_equal(z, [0; 0; 0], 'cur_u sharing D: D untouched');
  S = joint('lists');
  z = [0; 0; 0];
  S.cur_u = z; S.cur_v = z;        % one cursor for both tables
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, u, v, a), ...
                      'VRK:spardyn:Invalid', 'share their data', 'cur_u and cur_v one array');
end
