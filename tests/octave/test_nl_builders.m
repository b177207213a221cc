function test_nl_builders()
% The Octave helpers that make "NL" entries, the example nl_spring, and the
% example of docs/nl_entries.md, run through "residual".
  force_entries();
  rotating_centres();
  the_list();
  example_nl_spring();
  documented_example();
end

function force_entries()
  C = sparse([1 1 2], [3 4 6], [1 -1 2], 2, 8);
  B = sparse([1 2], [5 5], [1 -1], 2, 8);
  S = nl_force_entry(C, B, @nlfix_snl, 'fnl', 4, 'unl0', [1 2]);
  expect_equal(S.c, sparse_description(C, true), 'force entry: c in transposed storage');
  expect_equal(S.b, sparse_description(B, true), 'force entry: b in transposed storage');
  expect_equal({S.unl, S.vnl, S.snl, S.unl0}, {zeros(2, 1), zeros(2, 1), zeros(2, 1), [1; 2]}, ...
               'force entry: buffers and reference');
  expect_equal({S.StoreFNL, S.FInd, S.Fu}, {1, int32(3), @nlfix_snl}, 'force entry: FNL copy at 4');
  S = nl_force_entry(C, B, 'cubic', 'velocity', false);
  expect_equal({isfield(S, 'vnl'), isfield(S, 'Fu'), S.type, S.StoreFNL}, {false, false, 'cubic', 0}, ...
               'force entry of a named kind, no velocity');
  expect_error(@() nl_force_entry(C, B(:, 1:7), @nlfix_snl), 'VRK:spardyn:Invalid', [], ...
               'force entry: C and B of different widths');
  expect_error(@() nl_force_entry(C, B, 3), 'VRK:spardyn:Invalid', [], 'force entry: a number as force');
  expect_error(@() nl_force_entry(C, B, @nlfix_snl, 'unl0', 1), 'VRK:spardyn:Invalid', [], ...
               'force entry: a reference of the wrong size');
  expect_error(@() nl_force_entry(C, B, @nlfix_snl, 'stiff', 1), 'VRK:spardyn:Invalid', [], ...
               'force entry: an unknown option');
end

function rotating_centres()
  Fu = [-1 -1; 1 1]; Fv = [0 0];
  S = nl_rotcenter([4 0 5], [6 7 8], 3, eye(3), [1 2 3], [0; 0; 0], [0; 0; 1], Fu, Fv);
  expect_equal(size(S.Cell), [10 2], 'rotating centre: 10 rows without FNL');
  expect_equal(S.Cell(5:6, 2)', {[4 5], [1 3]}, 'rotating centre: A by index lists, y not observed');
  expect_equal({S.Cell{3, 2}, S.cur_u, S.cur_v}, {[1; 2; 3], zeros(3, 1), zeros(3, 1)}, ...
               'rotating centre: D as a column, cursors');
  S = nl_rotcenter([4 0 5], [6 7 8], 3, eye(3), [1 2 3], [0; 0; 0], [0; 0; 1], Fu, Fv, 'fnl', 2);
  expect_equal({rows(S.Cell), S.Cell{11, 2}}, {11, int32([1 2 3])}, 'rotating centre: FNL from 2');
  S = nl_rotcenter([4 0 5], [6 7 8], 3, eye(3), [1 2 3], [0; 0; 0], [0; 0; 1], Fu, Fv, ...
                   'fnl', [5 1 2], 'ndof', 9);
  expect_equal({rows(S.Cell), S.Cell{11, 2}}, {17, int32([4 0 1])}, 'rotating centre: observation matrices');
  A = sparse([1 3], [4 5], 1, 3, 9);
  expect_equal(S.Cell{15, 2}, sparse_description(A, true), 'rotating centre: A''s observation matrix');
  args = {[4 0 5], [6 7 8], 3, eye(3), [1 2 3], [0; 0; 0], [0; 0; 1], Fu, Fv};
  bad = {{1, [1 2]}, {2, [6 7]}, {3, 0}, {4, eye(2)}, {7, [0 1]}, {8, [0 1 2; 1 2 3]}, ...
         {8, [1 0; 0 1]}, {9, zeros(0, 2)}};
  for k = 1:numel(bad)
    a = args; a{bad{k}{1}} = bad{k}{2};
    expect_error(@() nl_rotcenter(a{:}), 'VRK:spardyn:Invalid', [], ...
                 sprintf('rotating centre: argument %d refused', bad{k}{1}));
  end
  expect_error(@() nl_rotcenter(args{:}, 'ndof', 7), 'VRK:spardyn:Invalid', [], ...
               'rotating centre: a point beyond ndof');
end

function the_list()
  model = struct('K', {{1, 2, 3}});
  model = nl_list_add(model, nl_force_entry(speye(2), speye(2), @nlfix_snl));
  model = nl_list_add(model, struct('type', 'mocirc2'), 'unused');
  expect_equal(model.NL(:, 1:2), {'nl1', 'Fu'; 'unused', 'mocirc2'}, 'the list: names and kinds');
  expect_equal(size(model.NL), [2 3], 'the list: rows of three cells');
  model.NL = {1, 2};
  expect_error(@() nl_list_add(model, struct()), 'VRK:spardyn:Invalid', [], ...
               'the list: a list of two columns refused');
end

% The example's kinds write the force into "unl" in place; the module then
% injects b'*unl.
function example_nl_spring()
  examples = fullfile(fileparts(which('sparse_description')), '..', 'examples');
  addpath(examples);
  n = 6;
  K = sparse_description(speye(n));
  model = struct('K', {{K, K, K}});
  R = sparse(1, [2 5], [1 -1], 1, n);
  u = (1:n)' / 10; v = zeros(n, 1);
  x = R * u;
  for kind = {'linear', 'cubic'}
    S = nl_force_entry(R, R, kind{1}); S.k = 50; S.k3 = 2e4;
    model.NL = {'', '', S};
    r = zeros(n, 1);
    spardyn('residual', r, model, u, v, []);
    f = 50 * x;
    if strcmp(kind{1}, 'cubic'), f = f + 2e4 * x^3; end
    expect_near(r, u + R.' * f, 1e-13, ['example nl_spring, ' kind{1}]);
    expect_near(model.NL{1, 3}.unl, f, 1e-13, ['example nl_spring, ' kind{1} ': the force in unl']);
  end
  S.type = 'quartic';
  model.NL = {'', '', S};
  expect_error(@() spardyn('residual', zeros(n, 1), model, u, v, []), 'nl_spring:kind', ...
               'nl_spring: unknown kind "quartic"', 'example nl_spring: its own error passed through');
  rmpath(examples);
end

% The example of docs/nl_entries.md, as it stands there.
function documented_example()
  n = 4;
  K = spdiags([-ones(n, 1) 2 * ones(n, 1) -ones(n, 1)], -1:1, n, n) * 1e3;
  model = struct('K', {{sparse_description(speye(n)), sparse_description(sparse(n, n)), ...
                        sparse_description(K)}}, 'FNL', zeros(2, 1));
  R = sparse(1, [2 4], [1 -1], 1, n);             % u(2) - u(4)
  S = nl_force_entry(R, R, @(S, varargin) S.k * S.unl .^ 3, 'fnl', 1);
  S.k = 1e7;
  model = nl_list_add(model, S, 'cubic spring');
  u = [0; 0.01; 0; -0.01]; v = zeros(n, 1); a = zeros(n, 1);
  r = zeros(n, 1);
  spardyn('residual', r, model, u, v, a);
  % r = K*u + R'*(1e7 * (0.02)^3): a force of 80 at DOF 2, -80 at DOF 4
  expect_near(r, K * u + R.' * 80, 1e-12, 'the documented example: r');
  expect_near(model.FNL(1), 80, 1e-12, 'the documented example: FNL(1)');
end
