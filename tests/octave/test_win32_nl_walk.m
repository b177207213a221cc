function test_win32_nl_walk()
% The earlier walk of a model's "NL" list (Windows x86): observation arrays
% without slices, whose reference resets as many values as it holds; a
% force function's force only from the field "unl" of its output; a
% callable type injecting "unl"; no dense transposed command matrix; the
% options not read.  Against the transcription of the walk in its earlier
% form, and hand-worked cases.
  every_form_against_the_transcription();
  observations_without_slices();
  forces_of_a_function();
  callable_type_injects_unl();
  dense_transposed_b_refused();
  references_that_do_not_fit();
end

function [model, s] = base_model()
  n = 12;
  rand('seed', 21); randn('seed', 21);
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
  s.Cm = sparse([1 1 2], [3 4 6], [1 -1 2], 2, n);
end

% Observes u3 - u4 and 2*u6, injects through the same matrix.
function S = spring(s, fu)
  S = nl_force_entry(s.Cm, s.Cm, fu);
  S.k = [100; 300];
end

function [model, s] = walk_model()
  [model, s] = base_model();
  n = s.n;
  S1 = spring(s, @nlfix_unl); S1.StoreFNL = 1; S1.FInd = int32(0); S1.unl0 = [0.01; 0.02];
  S2 = spring(s, @nlfix_snl); S2.StoreFNL = 1; S2.FInd = int32(2);
  S3 = spring(s, @nlfix_plain); S3.StoreFNL = 1; S3.FInd = int32(4);
  S4 = spring(s, @nlfix_nothing); S4.snl = [1; -2];
  S5 = spring(s, @nlfix_unl);                      % slices read as one block
  S5.unl = cat(3, [9; 9], [0.5; -0.25], [8; 8]);
  S5.vnl = cat(3, [7; 7], [1; 2], [6; 6]);
  S5.opt = [0 5];
  S6 = spring(s, @nlfix_snl); S6 = rmfield(S6, 'Fu'); S6.type = @nlfix_record;
  S6.snl = [0.5; 0.25];
  S7 = spring(s, @nlfix_snl); S7 = rmfield(S7, 'Fu'); S7.type = 'cubic'; S7.k3 = 1e3;
  S8 = spring(s, @nlfix_unl); S8.unl = [5; 6; 7; 8]; S8.unl0 = [1; -1];  % the tail kept
  Fu = [-1 -200; -0.01 -1; 0.01 1; 1 200];
  Fv = [-1 -5; 0 0; 0 0; 1 5];
  S9 = nl_rotcenter([2 0 3], [5 6 7], 1, eye(3), [0.3; 0.1; 0], [0.2; 0.3; 0.05], ...
                    [0; 0.3; 0.1], Fu, Fv, 'fnl', [7 8 9]);
  S10 = nl_rotcenter([8 9 10], [11 12 4], 1, eye(3), [0.1; 0; 0], [0.1; 0.02; 0], ...
                     [0; 0.1; 0], [-1 -50; 1 50], [-1 -2; 1 2], 'ndof', n, 'fnl', [10 11 12]);
  model.NL = {'a', 'Fu', S1; 'b', 'Fu', S2; 'c', 'Fu', S3; 'd', 'Fu', S4; 'e', 'Fu', S5; ...
              'f', 'feval', S6; 'g', 'cubic', S7; 'h', 'Fu', S8; 'i', 'rotcenter', S9; ...
              'j', 'rotcenter', S10; 'k', 'mocirc2', struct('type', 'mocirc2')};
end

function every_form_against_the_transcription()
  examples = fullfile(fileparts(which('sparse_description')), '..', 'examples');
  addpath(examples);
  [native, s] = walk_model();
  expected = walk_model();
  r = s.r0 + 0;
  spardyn('residual', r, native, s.u, s.v, s.a, s.opt, s.arg);
  [rRef, expected] = nl_walk_reference(s.linear, expected, s.u, s.v, s.a, s.opt, s.arg, 'earlier');
  rmpath(examples);
  expect_near(r, rRef, 1e-13, 'every form: r');
  expect_near(native.FNL, expected.FNL, 1e-13, 'every form: FNL');
  for j = 1:rows(native.NL)
    S = native.NL{j, 3}; E = expected.NL{j, 3};
    for f = {'vnl', 'unl', 'cur_u', 'cur_v'}
      if isfield(S, f{1})
        expect_near(S.(f{1}), E.(f{1}), 1e-13, sprintf('every form: row %d, %s in place', j, f{1}));
      end
    end
  end
  % The current form would differ: no copy for "snl" outputs, none from the
  % slices' reference, the tail of a long "unl" kept.
  expect_equal(native.FNL(3:6), zeros(4, 1), 'only "unl" outputs are copied');
  expect_true(native.FNL(1) ~= 0, 'the "unl" output is copied');
end

function observations_without_slices()
  [model, s] = base_model();
  S = spring(s, @nlfix_nothing);
  S.unl = cat(3, [9; 9], [0.5; -0.25], [8; 8]);
  S.vnl = cat(3, [7; 7], [1; 2], [6; 6]);
  S.opt = [0 5];
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a, struct('tc', 7));
  U = model.NL{1, 3}.unl; V = model.NL{1, 3}.vnl;
  expect_near(U(:), [s.Cm * s.u; 0; 0; 0; 0], 1e-15, '3-D unl: zeroed, then c*u in front');
  expect_near(V(:), [s.Cm * s.v; 0; 0; 0; 0], 1e-15, '3-D vnl: zeroed, then c*v in front');
  % A reference of the whole array sets it all.
  S.unl0 = reshape(1:6, 2, 1, 3);
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_near(model.NL{1, 3}.unl(:), [[1; 2] + s.Cm * s.u; (3:6)'], 1e-15, ...
              '3-D unl with a reference of 6 values');
  % A shorter reference resets its own values; the rest stays.
  S = spring(s, @nlfix_nothing);
  S.unl = [5; 6; 7; 8]; S.unl0 = [1; -1];
  model.NL = {'', '', S};
  spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a);
  expect_near(model.NL{1, 3}.unl, [[1; -1] + s.Cm * s.u; 7; 8], 1e-15, ...
              'unl0 of 2 values resets 2 of the 4');
end

function forces_of_a_function()
  [model, s] = base_model();
  f = [100; 300] .* (s.Cm * s.u);
  cases = {@nlfix_unl, f, 'a structure with "unl"'; ...
           @nlfix_snl, [0; 0], 'a structure with "snl" only: nothing'; ...
           @nlfix_plain, [0; 0], 'a plain array: nothing'; ...
           @nlfix_neither, [0; 0], 'a structure with neither: nothing'; ...
           @nlfix_nothing, [0; 0], 'no value: nothing, whatever "snl" holds'};
  for k = 1:rows(cases)
    S = spring(s, cases{k, 1}); S.snl = [4; 5]; S.StoreFNL = 1; S.FInd = int32(3);
    m = model; m.FNL = zeros(12, 1) + 0; m.NL = {'', '', S};
    r = s.r0 + 0;
    spardyn('residual', r, m, s.u, s.v, s.a);
    expect_near(r, s.linear + s.Cm.' * cases{k, 2}, 1e-13, ['force function returning ' cases{k, 3}]);
    copied = zeros(12, 1);
    if any(cases{k, 2}), copied(4:5) = cases{k, 2}; end
    expect_near(m.FNL, copied, 1e-13, ['FNL after ' cases{k, 3}]);
  end
end

function callable_type_injects_unl()
  global NLFIX_CALLS
  [model, s] = base_model();
  S = spring(s, @nlfix_snl); S = rmfield(S, 'Fu');
  S.type = @nlfix_record; S.snl = [2; -1];
  model.NL = {'', '', S};
  NLFIX_CALLS = {};
  r = s.r0 + 0;
  spardyn('residual', r, model, s.u, s.v, s.a);
  expect_equal(numel(NLFIX_CALLS), 1, 'callable type: called once');
  expect_near(r, s.linear + s.Cm.' * (s.Cm * s.u), 1e-13, 'callable type: b''*unl, not b''*snl');
end

% A command matrix given densely, one row in transposed storage, is taken
% by the current form; the earlier one refuses every dense matrix.
function dense_transposed_b_refused()
  [model, s] = base_model();
  S = spring(s, @nlfix_unl);
  S.b = struct('pr', full(s.Cm(1, :)).', 'trans', 1, 'dims', [1 s.n]);
  S.k = 100;
  model.NL = {'', '', S};
  r = s.r0 + 0;
  expect_error(@() spardyn('residual', r, model, s.u, s.v, s.a), '', ...
               'Add_Mt_u implemented for sparse matrices', 'a dense transposed b');
  expect_near(r, s.linear, 1e-13, 'the matrices added, the entry refused before writing');
end

function references_that_do_not_fit()
  [model, s] = base_model();
  S = spring(s, @nlfix_unl); S.unl0 = [1; 2; 3];
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a), ...
                      'VRK:spardyn:WrongSize', {'model.NL row 1', '"unl0"', 'more than'}, ...
                      'a reference longer than its array');
  S = spring(s, @nlfix_unl); S.vnl0 = 1;
  model.NL = {'', '', S};
  expect_error_naming(@() spardyn('residual', s.r0 + 0, model, s.u, s.v, s.a), ...
                      'VRK:spardyn:WrongSize', {'model.NL row 1', '"vnl0"', 'fewer than'}, ...
                      'a reference shorter than what c observes');
  expect_equal(model.NL{1, 3}.vnl, zeros(2, 1), 'nothing observed');
end
