function test_nl_walk()
% The walk of a model's "NL" list in "residual": every force form against an
% independent Octave transcription, the inputs the host functions receive,
% errors of host functions passed through, host functions that pull the
% ground from under the walk, and malformed entries refused before they
% write anything.
  lists_that_add_nothing();
  rows_in_order_and_empty_cells_skipped();
  host_functions_receive_the_inputs_of_the_call();
  malformed_entries();
  shared_memory_within_an_entry();
  % The forms of the walk's current form, and host functions that clear
  % handles; the earlier form of the Windows x86 module, which has no
  % handles, is tested in test_win32_nl_walk.m.
  if strcmp(flavor(), 'win32'), return; end
  host_functions_that_change_the_world();
  every_form_against_the_transcription();
  observations_and_their_slices();
  force_forms_of_a_function();
  copies_into_fnl();
  named_kinds_and_callable_types();
  errors_of_host_functions_pass_through();
  buffers_shared_by_objects();
  spardyn('chandleclear');
end

% --- a model of 12 DOFs with entries of every form --------------------------

function [model, s] = base_model()
  n = 12;
  rand('seed', 11); randn('seed', 11);
  K = sprandsym(n, 0.3) + 8 * speye(n); M = 2 * speye(n); C = 0.05 * K;
  model = struct('K', {{sparse_description(M), sparse_description(C), ...
                        sparse_description(K)}}, 'FNL', zeros(12, 1));
  s.n = n;
  s.u = 0.1 * randn(n, 1); s.u(1) = 0.3;
  s.v = 0.2 * randn(n, 1);
  s.a = randn(n, 1);
  s.r0 = randn(n, 1);
  s.linear = s.r0 + M * s.a + C * s.v + K * s.u;
  s.opt = struct('Rayleigh', [0 0], 'tc', 7);
  s.arg = struct('tag', 'the eighth input');
end

% Observes u3 - u4 and 2*u6, injects through the same matrix.
function S = spring(n, fu)
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, n);
  S = nl_force_entry(Cm, Cm, fu);
  S.k = [100; 300];
  S.name = func2str(fu);
end

function S = sliced_spring(n, fu)
  S = spring(n, fu);
  S.unl = cat(3, [9; 9], [0.5; -0.25], [8; 8]);  % slice 2: the reference
  S.vnl = cat(3, [7; 7], [1; 2], [6; 6]);
  S.opt = [0 5];
end

function S = rot_lists(fnl)
  Fu = [-1 -200; -0.01 -1; 0.01 1; 1 200];
  Fv = [-1 -5; 0 0; 0 0; 1 5];     % a step at 0
  S = nl_rotcenter([2 0 3], [5 6 7], 1, rotation(0.2, 0.1), [0.3; 0.1; 0], ...
                   [0.2; 0.3; 0.05], [0; 0.3; 0.1], Fu, Fv, 'fnl', fnl);
end

function S = rot_matrices(n, fnl)
  S = nl_rotcenter([8 9 10], [11 12 4], 1, eye(3), [0.1; 0; 0], ...
                   [0.1; 0.02; 0], [0; 0.1; 0], [-1 -50; 1 50], [-1 -2; 1 2], ...
                   'ndof', n, 'fnl', fnl);
end

function P = rotation(a, b)
  P = [1 0 0; 0 cos(a) -sin(a); 0 sin(a) cos(a)] * ...
      [cos(b) 0 sin(b); 0 1 0; -sin(b) 0 cos(b)];
end

function [model, s] = walk_model()
  [model, s] = base_model();
  n = s.n;
  S1 = spring(n, @nlfix_snl); S1.StoreFNL = 1; S1.FInd = int32(0);
  S1.unl0 = [0.01; 0.02];
  S3 = spring(n, @nlfix_unl); S3.StoreFNL = NaN; S3.FInd = int32(2);
  S4 = struct('type', 'mocirc2', 'cta', sparse_description(speye(n)));
  S6 = sliced_spring(n, @nlfix_plain);
  S7 = spring(n, @nlfix_nothing); S7.snl = [1; -2];
  S8 = spring(n, @nlfix_snl); S8 = rmfield(S8, 'Fu'); S8.type = 'cubic';
  S8.k3 = 1e3;
  S9 = spring(n, @nlfix_snl); S9 = rmfield(S9, 'Fu'); S9.type = @nlfix_record;
  S9.snl = [0.5; 0.25];
  S11 = spring(n, @nlfix_neither); S11.StoreFNL = 1;
  S12 = spring(n, @nlfix_snl); S12 = rmfield(S12, 'Fu'); S12.type = '';
  S13 = spring(n, @nlfix_snl); S13.Fu = 'not a function'; S13.type = 'mocirc2';
  model.NL = {'a', 'Fu', S1; 'empty', '', []; 'b', 'Fu', S3; 'c', 'mocirc2', S4; ...
              'd', 'rotcenter', rot_lists(6); 'e', 'Fu', S6; 'f', 'Fu', S7; ...
              'g', 'cubic', S8; 'h', 'feval', S9; ...
              'i', 'rotcenter', rot_matrices(n, [9 10 12]); 'j', 'Fu', S11; ...
              'k', '', S12; 'l', 'mocirc2', S13};
end

function every_form_against_the_transcription()
  global NLFIX_CALLS
  addpath(spardyn_examples());
  [native, s] = walk_model();
  expected = walk_model();
  r = s.r0 + 0;
  NLFIX_CALLS = {};
  spardyn('residual', r, native, s.u, s.v, s.a, s.opt, s.arg);
  NLFIX_CALLS = {};
  [rRef, expected] = nl_walk_reference(s.linear, expected, s.u, s.v, s.a, s.opt, s.arg);
  rmpath(spardyn_examples());
  expect_near(r, rRef, 1e-13, 'every form: r');
  expect_near(native.FNL, expected.FNL, 1e-13, 'every form: FNL');
  expect_true(all(expected.FNL([1 2 3 4 6 7 8 9 10 12]) ~= 0), 'every form: FNL written where expected');
  for j = 1:rows(native.NL)
    S = native.NL{j, 3}; E = expected.NL{j, 3};
    for f = {'vnl', 'unl', 'cur_u', 'cur_v'}
      if isfield(S, f{1})
        expect_near(S.(f{1}), E.(f{1}), 1e-13, sprintf('every form: row %d, %s in place', j, f{1}));
      end
    end
  end
  S6 = native.NL{6, 3};
  expect_equal(S6.unl(:, :, 3), [9; 9], 'the clock passed: slice 3 keeps the last unl');
  expect_equal(S6.vnl(:, :, 3), [7; 7], 'the clock passed: slice 3 keeps the last vnl');
end

function d = spardyn_examples()
  d = fullfile(fileparts(which('sparse_description')), '..', 'examples');
end

% --- what adds nothing ----------------------------------------------------------

function lists_that_add_nothing()
  [model, s] = base_model();
  for nl = {{}, cell(0, 3), 'not a cell', struct('x', 1), cell(2, 3)}
    m = model; m.NL = nl{1};
    r = s.r0 + 0;
    spardyn('residual', r, m, s.u, s.v, s.a);
    expect_near(r, s.linear, 1e-13, sprintf('NL of class %s, %dx%d: nothing added', ...
                class(nl{1}), rows(nl{1}), columns(nl{1})));
  end
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(r, s.linear, 1e-13, 'no NL at all');
  m = model; m.NL = {'x', 'y'};
  r = s.r0 + 0;
  expect_error_naming(@() spardyn('residual', r, m, s.u, s.v, s.a), ...
                      'VRK:spardyn:Invalid', 'model.NL', 'an NL list of two columns');
  expect_equal(r, s.r0, 'an NL list of two columns: r untouched');
end

function rows_in_order_and_empty_cells_skipped()
  global NLFIX_CALLS
  [model, s] = base_model();
  S = spring(s.n, @nlfix_record);
  model.NL = cell(4, 3);
  for j = [1 3 4]
    T = S; T.name = sprintf('row %d', j); model.NL{j, 3} = T;
  end
  NLFIX_CALLS = {};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, s.opt, s.arg);
  names = cellfun(@(c) c{1}.name, NLFIX_CALLS, 'UniformOutput', false);
  expect_equal(names, {'row 1', 'row 3', 'row 4'}, 'rows in order, the empty one skipped');
end

% --- observations -----------------------------------------------------------------

function observations_and_their_slices()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  S = spring(s.n, @nlfix_nothing);
  S.snl = [0; 0];
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_near(model.NL{1, 3}.unl, Cm * s.u, 1e-15, 'unl = c*u without unl0');
  expect_near(model.NL{1, 3}.vnl, Cm * s.v, 1e-15, 'vnl = c*v without vnl0');

  S.unl0 = [1; 2]; S.vnl0 = [-1; 3];
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_near(model.NL{1, 3}.unl, [1; 2] + Cm * s.u, 1e-15, 'unl = unl0 + c*u');
  expect_near(model.NL{1, 3}.vnl, [-1; 3] + Cm * s.v, 1e-15, 'vnl = vnl0 + c*v');

  % A dense c replaces the reference.
  S.c = full(Cm);
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_near(model.NL{1, 3}.unl, Cm * s.u, 1e-15, 'dense c: unl = c*u, unl0 ignored');

  % Three slices: opt(2) = 5 before tc = 7 keeps slice 1 in slice 3.
  T = sliced_spring(s.n, @nlfix_nothing);
  model.NL = {'', '', T};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, struct('tc', 7));
  U = model.NL{1, 3}.unl; V = model.NL{1, 3}.vnl;
  expect_near(U(:, :, 1), [0.5; -0.25] + Cm * s.u, 1e-15, '3-D unl: slice 2 + c*u');
  expect_equal(U(:, :, 3), [9; 9], '3-D unl: old slice 1 in slice 3');
  expect_near(V(:, :, 1), [1; 2] + Cm * s.v, 1e-15, '3-D vnl: slice 2 + c*v');
  expect_equal(V(:, :, 3), [7; 7], '3-D vnl: old slice 1 in slice 3');
  % tc before opt(2): slice 3 stays.
  T = sliced_spring(s.n, @nlfix_nothing);
  model.NL = {'', '', T};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, struct('tc', 3));
  expect_equal(model.NL{1, 3}.unl(:, :, 3), [8; 8], 'tc = 3 < 5: slice 3 kept');
  % No "vnl": the clock is never read, unl's slice 3 stays.
  T = rmfield(sliced_spring(s.n, @nlfix_nothing), 'vnl');
  model.NL = {'', '', T};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, struct('tc', 7));
  expect_equal(model.NL{1, 3}.unl(:, :, 3), [8; 8], 'no vnl: slice 3 of unl kept');
end

% --- the three outputs of a force function ---------------------------------------

function force_forms_of_a_function()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  f = [100; 300] .* (Cm * s.u);
  cases = {@nlfix_snl, f, 'a structure with "snl"'; ...
           @nlfix_unl, f, 'a structure with "unl" only'; ...
           @nlfix_plain, f, 'a plain array'; ...
           @nlfix_neither, [0; 0], 'a structure with neither'; ...
           @nlfix_nothing, [4; 5], 'no value: the entry''s "snl"'};
  for k = 1:rows(cases)
    S = spring(s.n, cases{k, 1}); S.snl = [4; 5];
    model.NL = {'', '', S};
    r = s.r0 + 0;
    spardyn('residual', r, model, s.u, s.v, s.a);
    expect_near(r, s.linear + Cm.' * cases{k, 2}, 1e-13, ['force function returning ' cases{k, 3}]);
  end
  % Without "snl", returning nothing injects the observation "unl".
  S = rmfield(spring(s.n, @nlfix_nothing), 'snl');
  model.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(r, s.linear + Cm.' * (Cm * s.u), 1e-13, 'no value, no "snl": "unl" injected');
  % Neither buffer: nothing.
  S = rmfield(rmfield(rmfield(S, 'unl'), 'vnl'), 'c');
  model.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(r, s.linear, 1e-13, 'no value and no buffer: nothing');
  % Without "b", nothing is injected but the force is still copied.
  S = spring(s.n, @nlfix_plain); S = rmfield(S, 'b'); S.StoreFNL = 1; S.FInd = int32(4);
  model.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(r, s.linear, 1e-13, 'no "b": nothing injected');
  expect_near(model.FNL(5:6), f, 1e-13, 'no "b": the force still copied');
end

function copies_into_fnl()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  f = [100; 300] .* (Cm * s.u);
  for store = {0, NaN, 2, true}
    S = spring(s.n, @nlfix_snl); S.StoreFNL = store{1}; S.FInd = int32(9);
    m = model; m.FNL = zeros(12, 1) + 0;
    m.NL = {'', '', S};
    spardyn('residual', s.r0 + 0, m, s.u, s.v, s.a);
    expected = zeros(12, 1);
    if store{1} ~= 0, expected(10:11) = f; end
    expect_near(m.FNL, expected, 1e-13, sprintf('StoreFNL = %g', store{1}));
  end
  % Neither "snl" nor "unl" in the output: no copy either.
  S = spring(s.n, @nlfix_neither); S.StoreFNL = 1;
  m = model; m.FNL = zeros(12, 1) + 0; m.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, m, s.u, s.v, s.a);
  expect_equal(m.FNL, zeros(12, 1), 'no force in the output: FNL untouched');
  % A model without FNL: nothing copied, FInd never read.
  S = spring(s.n, @nlfix_snl); S.StoreFNL = 1; S = rmfield(S, 'FInd');
  m = rmfield(model, 'FNL'); m.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, m, s.u, s.v, s.a);
  expect_near(r, s.linear + Cm.' * f, 1e-13, 'no FNL in the model: FInd not needed');
end

% --- kinds by name and callable types -----------------------------------------------

function named_kinds_and_callable_types()
  global NLFIX_SPRING NLFIX_CALLS
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  fixture = fullfile(fileparts(mfilename('fullpath')), 'nl_spring_fixture');
  if ~exist(fixture, 'dir')
    fixture = fullfile(fileparts(which('nl_walk_reference')), '..', 'nl_spring_fixture');
  end  % (the fixture sits next to this file's directory of tests)
  addpath(fixture);
  S = spring(s.n, @nlfix_snl); S = rmfield(S, 'Fu');
  for kind = {'RotCenter', 'rotcenter ', 'spring', 'MOCIRC2'}
    S.type = kind{1};
    model.NL = {'', '', S};
    NLFIX_SPRING = {};
    r = s.r0 + 0;
    spardyn('residual', r, model, s.u, s.v, s.a);
    expect_equal(NLFIX_SPRING, {{kind{1}, 8}}, sprintf('type "%s" calls nl_spring with 8 inputs', kind{1}));
    expect_near(r, s.linear + Cm.' * (Cm * s.u), 1e-13, sprintf('type "%s": b''*unl injected', kind{1}));
  end
  % "mocirc2" between two entries: nothing, and the next one still runs.
  S.type = 'spring';
  model.NL = {'', '', S; '', '', struct('type', 'mocirc2'); '', '', S};
  NLFIX_SPRING = {};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_equal(numel(NLFIX_SPRING), 2, 'mocirc2 in the middle: both neighbours evaluated');
  expect_near(r, s.linear + 2 * Cm.' * (Cm * s.u), 1e-13, 'mocirc2 adds nothing');
  % An empty type: nothing at all.
  S.type = '';
  model.NL = {'', '', S};
  NLFIX_SPRING = {};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_true(isempty(NLFIX_SPRING), 'empty type: no host function');
  expect_near(r, s.linear, 1e-13, 'empty type: nothing added');
  % "snl" but no "unl": nothing injected after nl_spring.
  S = rmfield(rmfield(S, 'unl'), 'vnl'); S.type = 'spring';
  model.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(r, s.linear, 1e-13, 'nl_spring without "unl": nothing injected');
  rmpath(fixture);

  % A type that is not a string is called through feval, with no output;
  % then b'*snl is injected (the entry has "unl").
  S = spring(s.n, @nlfix_snl); S = rmfield(S, 'Fu');
  S.type = @nlfix_record; S.snl = [2; -1];
  model.NL = {'', '', S};
  NLFIX_CALLS = {};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_equal(numel(NLFIX_CALLS), 1, 'callable type: called once');
  expect_equal(numel(NLFIX_CALLS{1}), 8, 'callable type: S and the 7 inputs');
  expect_near(r, s.linear + Cm.' * [2; -1], 1e-13, 'callable type: b''*snl');
  % A "Fu" that is not a function handle leaves the choice to "type".
  S.Fu = [1 2 3];
  model.NL = {'', '', S};
  NLFIX_CALLS = {};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_equal(numel(NLFIX_CALLS), 1, 'a numeric Fu: the type decides');

  % No nl_spring on the path: Octave's own error, passed through.
  if isempty(which('nl_spring'))
    S = spring(s.n, @nlfix_snl); S = rmfield(S, 'Fu'); S.type = 'spring';
    model.NL = {'', '', S};
    expect_error(@() spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a), ...
                 '', 'feval: function ''nl_spring'' not found', 'no nl_spring on the path');
  end
end

% --- inputs, errors, hostile functions ----------------------------------------------

function host_functions_receive_the_inputs_of_the_call()
  global NLFIX_CALLS
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  model.NL = {'', '', spring(s.n, @nlfix_record)};
  r = s.r0 + 0;
  NLFIX_CALLS = {};
  spardyn('residual', r, model, s.u, s.v, s.a, s.opt, s.arg);
  got = NLFIX_CALLS{1};
  expect_equal(numel(got), 8, 'Fu: called with 8 inputs');
  expect_near(got{1}.unl, Cm * s.u, 1e-15, 'Fu: input 1 is the entry, observed');
  expect_near(got{2}, s.linear, 1e-13, 'Fu: input 2 is r, the matrices already added');
  expect_true(isstruct(got{3}) && isequal(got{3}.K, model.K), 'Fu: input 3 is the model');
  expect_equal({got{4}, got{5}, got{6}}, {s.u, s.v, s.a}, 'Fu: u, v, a');
  expect_equal(got{7}, s.opt, 'Fu: input 7, the options');
  expect_equal(got{8}, s.arg, 'Fu: input 8, the further argument');

  NLFIX_CALLS = {};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, s.opt);
  expect_equal(NLFIX_CALLS{1}{8}, [], 'no input 8: [] in its place');
  NLFIX_CALLS = {};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_equal({NLFIX_CALLS{1}{7}, NLFIX_CALLS{1}{8}}, {[], []}, 'no inputs 7 and 8: [] for both');
end

function errors_of_host_functions_pass_through()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  S = spring(s.n, @nlfix_raise); S.name = 'second';
  model.NL = {'', '', spring(s.n, @nlfix_snl); '', '', S; '', '', spring(s.n, @nlfix_snl)};
  r = s.r0 + 0;
  try
    spardyn('residual', r, model, s.u, s.v, s.a);
    record_result(false, 'error of a force function: none raised');
  catch err
    expect_equal(err.identifier, 'nlfix:failed', 'error of a force function: its identifier');
    expect_equal(err.message, 'the force of entry "second" cannot be computed', ...
                 'error of a force function: its message, unchanged');
  end
  f = [100; 300] .* (Cm * s.u);
  expect_near(r, s.linear + Cm.' * f, 1e-13, 'error: the contributions before it stay in r');
end

function host_functions_that_change_the_world()
  global NLFIX_MODEL
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  id = spardyn('chandleset', 1, model.K{3});
  S = spring(s.n, @nlfix_snl);
  model.NL = {'', '', spring(s.n, @nlfix_hostile); '', '', S};
  NLFIX_MODEL = model;
  r = s.r0 + 0;
  spardyn('residual', r, NLFIX_MODEL, s.u, s.v, s.a);
  f = [100; 300] .* (Cm * s.u);
  expect_near(r, s.linear + 2 * Cm.' * f, 1e-13, ...
              'a function that clears handles and the model: the walk ends as it began');
  expect_true(isempty(NLFIX_MODEL), 'the caller''s model was emptied by the function');
  expect_error(@() spardyn('chandleget', id), 'VRK:spardyn:NonHandle', [], ...
               'the handles were cleared mid-walk');
  clear -global NLFIX_MODEL
end

% --- malformed entries ------------------------------------------------------------

% Each case changes one thing of an entry at row 2, after a first entry that
% is fine; the call is refused with the identifier and a message naming the
% row and field, and the second entry writes nothing.
% The earlier walk of the Windows x86 module takes a force function's force
% from the field "unl" of its output only: there the forces are handed back
% that way, and "opt" is not read.
function malformed_entries()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  f1 = [100; 300] .* (Cm * s.u);
  earlier = strcmp(flavor(), 'win32');
  fu = @nlfix_snl;
  if earlier, fu = @nlfix_unl; end
  good = spring(s.n, fu);
  sharp = @(S) setfield(S, 'StoreFNL', 1);
  sliced = @(S) setfield(setfield(setfield(S, 'unl', cat(3, [9; 9], [1; 1], [8; 8])), ...
                                  'vnl', cat(3, [7; 7], [1; 2], [6; 6])), 'opt', [0 5]);
  force = @(S, f) setfield(S, 'Fu', f);
  if earlier
    force = @(S, f) setfield(S, 'Fu', @(varargin) struct('unl', {f(varargin{:})}));
  end
  wide = sparse_description(sparse(1, 13, 1, 2, 13), true);
  % change, identifier, part of the message, label, refused before the
  % entry writes anything
  cases = {
    @(S) rmfield(S, 'StoreFNL'),                 'VRK:spardyn:empty'  ,   '"StoreFNL"', 'StoreFNL missing', true
    @(S) setfield(S, 'StoreFNL', 'yes'),         'VRK:spardyn:Invalid',   '"StoreFNL"', 'StoreFNL a string', true
    @(S) rmfield(sharp(S), 'FInd'),              'VRK:spardyn:empty'  ,   '"FInd"',     'FInd missing', true
    @(S) setfield(sharp(S), 'FInd', 3),          'VRK:spardyn:conform',   '"FInd"',     'FInd a double', true
    @(S) setfield(sharp(S), 'FInd', int32(11)),  'VRK:spardyn:Invalid',   '"FInd"',     'FInd + 2 values past FNL', false
    @(S) setfield(sharp(S), 'FInd', int32(-1)),  'VRK:spardyn:Invalid',   '"FInd"',     'FInd negative', false
    @(S) setfield(rmfield(S, 'Fu'), 'x', 1),     'VRK:spardyn:empty'  ,   '"type"',     'neither Fu nor type', true
    @(S) force(S, @(varargin) 1),                'VRK:spardyn:WrongSize', '"Fu"',       'a force shorter than b reads', false
    @(S) force(S, @(varargin) [1; 2] + 1i),      'VRK:spardyn:Invalid',   '"Fu"',       'a complex force', false
    @(S) force(S, @(varargin) sparse([1; 2])),   'VRK:spardyn:Invalid',   '"Fu"',       'a sparse force', false
    @(S) force(S, @(varargin) int32([1; 2])),    'VRK:spardyn:Invalid',   '"Fu"',       'an int32 force', false
    @(S) force(S, @(varargin) {1, 2}),           'VRK:spardyn:Invalid',   '"Fu"',       'a cell as force', false
    @(S) force(S, @(varargin) struct('snl', 'ab')), 'VRK:spardyn:Invalid', '"Fu"',      'a string as snl', false
    @(S) rmfield(S, 'c'),                        'VRK:spardyn:empty'  ,   '"c"',        'c missing while vnl is observed', true
    @(S) setfield(S, 'c', wide),                 'VRK:spardyn:WrongSize', '"c"',        'c wider than the model', true
    @(S) setfield(S, 'c', sparse_description(sparse([1 2 3], [1 2 3], 1, 3, 12), true)), ...
                                                 'VRK:spardyn:WrongSize', '"c"',        'c of more rows than unl', true
    @(S) setfield(S, 'c', struct('ir', int32(0))), 'VRK:spardyn:Invalid', '"c"',        'c without values', true
    @(S) setfield(S, 'b', wide),                 'VRK:spardyn:WrongSize', '"b"',        'b wider than the model', true
    @(S) setfield(S, 'unl0', 1),                 'VRK:spardyn:WrongSize', '"unl0"',     'unl0 shorter than unl', true
    @(S) setfield(S, 'vnl', [1; 2] + 1i),        'VRK:spardyn:Invalid',   '"vnl"',      'a complex vnl', true
    @(S) setfield(S, 'vnl', sparse([1; 2])),     'VRK:spardyn:Invalid',   '"vnl"',      'a sparse vnl', true
    @(S) setfield(S, 'unl', int32([1; 2])),      'VRK:spardyn:Invalid',   '"unl"',      'an int32 unl', false
    @(S) setfield(sliced(S), 'opt', int32([0 5])), 'VRK:spardyn:Invalid', '"opt"',      'an int32 opt', false
    @(S) 5,                                      'VRK:spardyn:Invalid',   'row 2',      'an entry that is no structure', false
  };
  if earlier, cases = cases(~strcmp(cases(:, 4), 'an int32 opt'), :); end
  for k = 1:rows(cases)
    S = cases{k, 1}(good);
    m = model; m.FNL = zeros(12, 1) + 0;
    m.NL = {'', '', spring(s.n, fu); '', '', S};
    r = s.r0 + 0;
    expect_error_naming(@() spardyn('residual', r, m, s.u, s.v, s.a), cases{k, 2}, ...
                        {'model.NL row 2', cases{k, 3}}, cases{k, 4});
    expect_near(r, s.linear + Cm.' * f1, 1e-13, [cases{k, 4} ': only the first entry in r']);
    if cases{k, 5}
      expect_equal(m.NL{2, 3}.unl, S.unl, [cases{k, 4} ': unl of the entry untouched']);
    end
  end
  % The control: the good entry twice passes.
  m = model; m.NL = {'', '', good; '', '', spring(s.n, fu)};
  r = s.r0 + 0;
  spardyn('residual', r, m, s.u, s.v, s.a);
  expect_near(r, s.linear + 2 * Cm.' * f1, 1e-13, 'the unchanged entry passes');
  % Octave's own sparse matrix as c: the historical message.
  S = good; S.c = sparse([1 2], [3 4], 1, 2, 12);
  m = model; m.NL = {'', '', S};
  expect_error(@() spardyn('residual', s.r0 + 0, m, s.u, s.v, s.a), '', 'ir must be int32', ...
               'an Octave sparse c');
  S = good; S.c = sparse_description(sparse([1 2], [3 4], 1, 2, 12), false);
  m = model; m.NL = {'', '', S};
  expect_error(@() spardyn('residual', s.r0 + 0, m, s.u, s.v, s.a), '', ...
               'Prod_Mt_u implemented for transposed sparse matrices', 'c by columns');
  S = good; S.b = full(sparse([1 2], [3 4], 1, 2, 12));
  m = model; m.NL = {'', '', S};
  expect_error(@() spardyn('residual', s.r0 + 0, m, s.u, s.v, s.a), '', ...
               'Add_Mt_u implemented for sparse matrices', 'a dense b');
  % An empty v while an entry observes velocities.
  m = model; m.NL = {'', '', good};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, m, s.u, [], s.a), ...
                      'VRK:spardyn:WrongSize', 'model.NL row 1, "c"', 'vnl observed with v empty');
end

function shared_memory_within_an_entry()
  [model, s] = base_model();
  S = spring(s.n, @nlfix_snl);
  z = zeros(2, 1);
  S.unl = z; S.vnl = z;          % one array under two names
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a), ...
                      'VRK:spardyn:Invalid', 'share their data', 'vnl and unl sharing their data');
  expect_equal(z, zeros(2, 1), 'vnl and unl sharing: nothing written');
  S = spring(s.n, @nlfix_snl);
  S.unl0 = S.unl;                % the reference is the observation itself
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a), ...
                      'VRK:spardyn:Invalid', 'share their data', 'unl0 sharing unl''s data');
  u = s.u + 0;
  S = spring(s.n, @nlfix_snl);
  S.unl = u;                     % the observation would overwrite u
  S.c = sparse_description(sparse(1:12, 1:12, 1), true);
  S.b = S.c; S.snl = zeros(12, 1); S.vnl = zeros(12, 1); S.k = 1;
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, u, s.v, s.a), ...
                      'VRK:spardyn:Invalid', 'share their data', 'unl sharing u''s data');
  expect_equal(u, s.u, 'unl sharing u: u untouched');
end

% Arrays of values given as objects sharing a buffer (property "c"): the
% observation lands in the buffer, and a force the host function writes
% into the buffer is the one injected.
function buffers_shared_by_objects()
  [model, s] = base_model();
  Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, s.n);
  S = spring(s.n, @nlfix_nothing);
  S.unl = buffer_object(buffer_fixture('new', 2));
  model.NL = {'', '', S};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_near(buffer_fixture('get'), Cm * s.u, 1e-15, 'unl as a shared buffer: c*u written into it');
  expect_near(r, s.linear, 1e-13, 'unl as a shared buffer: snl (zeros) injected');

  S = spring(s.n, @nlfix_buffer);
  S.snl = buffer_object(buffer_fixture('new', 2));
  S.StoreFNL = 1; S.FInd = int32(5);
  model.NL = {'', '', S};
  model.FNL = zeros(12, 1);
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  f = [100; 300] .* (Cm * s.u);
  expect_near(r, s.linear + Cm.' * f, 1e-13, 'the force written into a shared buffer is injected');
  % The length of a shared buffer is unknown: its one row is copied.
  expect_near(model.FNL(6:7), [f(1); 0], 1e-13, 'a shared buffer copies its one row into FNL');

  % What a step uses of a shared buffer must be mapped: the fixture's
  % buffers end at an inaccessible page, and a released one is inaccessible.
  S = spring(s.n, @nlfix_nothing);
  S.unl = buffer_object(buffer_fixture('new', 1));
  model.NL = {'', '', S};
  r = s.r0 + 0;
  expect_error_naming(@() spardyn('residual', r, model, s.u, s.v, s.a), 'VRK:spardyn:Invalid', ...
                      {'row 1, "unl": no buffer of 2 values is mapped readable and writable'}, ...
                      'unl: a shared buffer of 1 value for the 2 rows of c');
  S.unl = buffer_object(1.1e12);
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', r, model, s.u, s.v, s.a), 'VRK:spardyn:Invalid', ...
                      {'row 1, "unl": no buffer of 2 values'}, 'unl: an address that names nothing');
  S = spring(s.n, @nlfix_release);
  S.snl = buffer_object(buffer_fixture('new', 2));
  model.NL = {'', '', S};
  r = s.r0 + 0;
  expect_error_naming(@() spardyn('residual', r, model, s.u, s.v, s.a), 'VRK:spardyn:Invalid', ...
                      {'row 1, "snl": no buffer of 2 values'}, 'snl released by the force function');
  expect_near(r, s.linear, 1e-13, 'snl released: the linear part only was added');
  S = spring(s.n, @nlfix_release);
  S.snl = zeros(2, 1);
  model.NL = {'', '', S};
  b = buffer_object(buffer_fixture('new', s.n));
  expect_error_naming(@() spardyn('residual', b, model, s.u, s.v, s.a), 'VRK:spardyn:Invalid', ...
                      {'spardyn residual : r: no buffer of 12 values'}, ...
                      'r released by the force function, before the injection');
  buffer_fixture('free');
end
