function test_newmark()
% "chandlediagnewmark": what a run writes, and every malformed stepper, step
% output or storage refused before the first step with the caller's arrays
% untouched.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  refused_descriptions();
  refused_handle_vectors();
  refused_state_and_outputs();
  refused_storage_and_exports();
  refused_terms();
  no_step_and_one_step();
  displacement_snapshots();
  forces_and_load_factors();
  optional_outputs();
  internal_states_are_carried();
  registered_handles();
end

% --- a small model: three masses, springs, one load shape --------------------------

function c = base()
  N = 3; h = 0.01; beta = 0.25; gamma = 0.5;
  m = [1; 2; 3];
  K = sparse([20 -10 0; -10 20 -10; 0 -10 10]);
  t = (0:5) * h;
  c.st = newmark_stepper(m, [], K, h, beta, gamma, [0; 0; 1], ...
                         newmark_time_table(t, ones(1, 6)));
  c.M = sparse_term(2, spdiags(m, 0, N, N));
  c.K = sparse_term(1, K);
  c.model = struct();
  c.u = zeros(N, 1); c.v = zeros(N, 1); c.a = zeros(N, 1);
  c.ray = [0 0];
  c.out = newmark_step_output(N);
  c.store = newmark_storage(N, t(3));
  c.mK = K; c.m = m; c.t = t;
end

function c = run(c, handles)
  if nargin < 2, handles = {c.st, c.M, c.K}; end
  spardyn('chandlediagnewmark', handles, c.model, c.u, c.v, c.a, c.ray, c.out, c.store);
end

% The call must fail with this identifier and message and write nothing.
function refused(c, id, message, label, handles)
  if nargin < 5, handles = {c.st, c.M, c.K}; end
  before = written(c, true);
  expect_error(@() spardyn('chandlediagnewmark', handles, c.model, c.u, c.v, c.a, ...
                           c.ray, c.out, c.store), id, message, label);
  after = written(c, false);
  expect_equal(after, before, [label ': arrays untouched']);
end

% --- refusals ------------------------------------------------------------------

function refused_descriptions()
  c = base(); c.st.r = sparse_description(sparse(c.st.r));
  refused(c, 'VRK:spardyn:Invalid', 'Full r expected', 'r as a sparse description');
  c = base(); c.st.tft = [c.st.tft; c.st.tft(2, :)];
  refused(c, 'VRK:spardyn:Invalid', 'Inconsistent Nb & NT', 'tft with a row too many');
  c = base(); c.st.r = c.st.r(:, [1 3]); c.st.tft = c.st.tft(1, :);
  refused(c, 'VRK:spardyn:Invalid', [], 'no load shape (Nb = 0): no correction column');
  c = base(); c.st.data = c.st.data(1:5);
  refused(c, 'VRK:spardyn:Invalid', 'Inconsistent data length', 'data of 5 values');
  c = base(); c.st.iopt = 0;
  refused(c, 'VRK:spardyn:conform', 'iopt must be int32', 'iopt as double');
  for f = {'r', 'tft', 'data'}
    c = base(); c.st = rmfield(c.st, f{1});
    refused(c, 'VRK:spardyn:empty', sprintf('Newmark stepper: field "%s" is missing', f{1}), ['no ' f{1}]);
  end
  c = base(); c.st.tft = complex(c.st.tft, 1);
  refused(c, 'VRK:spardyn:Invalid', [], 'complex time table');
end

function refused_handle_vectors()
  c = base();
  refused(c, 'VRK:spardyn:Invalid', 'Expecting chandle vector', 'numeric handle vector', 1);
  refused(c, 'VRK:spardyn:Invalid', 'Expecting chandle vector', 'structure handle vector', c.st);
  refused(c, 'VRK:spardyn:NonHandle', [], 'empty handle vector', {});
  refused(c, 'VRK:spardyn:NonHandle', [], 'first handle not a stepper', {c.K, c.st, c.M});
  spardyn('chandleclear');
  id = spardyn('chandleset', 2000, 5);
  refused(c, 'VRK:spardyn:empty', 'Newmark stepper: field "r" is missing', ...
          'registered stepper that is no structure', chandle(id));
  spardyn('chandleclear');
end

function refused_state_and_outputs()
  c = base(); c.out.uva.uva = zeros(11, 1);
  refused(c, 'VRK:spardyn:Invalid', 'wrong uva size', 'uva below 4 N');
  N = 3;
  c = base(); c.u = zeros(N, 2); c.v = zeros(N, 2); c.a = zeros(N, 2);
  c.store = newmark_storage(N + 2, []);
  refused(c, 'VRK:spardyn:Invalid', 'wrong uva size', 'uva below 3 nDef + N');
  c = base();
  v = zeros(N, 1);
  refused_state(c, c.u, v, v, 'Identical v & a');
  refused_state(c, v, v, c.a, 'Identical v & u');
  refused_state(c, v, c.v, v, 'Identical a & u');
  c = base(); c.u = zeros(N + 1, 1);
  refused(c, 'VRK:spardyn:WrongSize', [], 'u with more rows than r');
  c = base(); c.a = [];
  refused(c, 'VRK:spardyn:WrongSize', [], 'no acceleration');
  c = base(); c.store = newmark_storage(N + 1, []); c.out = newmark_step_output(N, N + 1);
  refused(c, 'VRK:spardyn:WrongSize', [], 'state shorter than the stored rows');
  % Complex state or outputs: the run writes real values into them.
  c = base(); c.u = complex(c.u, 1);
  refused(c, '', 'Real numbers needed.', 'complex u');
  c = base(); c.out.uva.uva = complex(c.out.uva.uva, 1);
  refused(c, 'VRK:spardyn:Invalid', [], 'complex step output');
  c = base(); c.store.def = complex(c.store.def, 1);
  refused(c, 'VRK:spardyn:Invalid', [], 'complex snapshots');
end

% Copies (or the arrays themselves) of everything a run may write.
function w = written(c, copy)
  w = {c.u, c.v, c.a};
  if isfield(c.out, 'uva') && isfield(c.out.uva, 'uva'), w{end + 1} = c.out.uva.uva; end
  if isfield(c.store, 'def'), w{end + 1} = c.store.def; end
  if isfield(c.st, 'data'), w{end + 1} = c.st.data; end
  if isfield(c.model, 'FNL'), w{end + 1} = c.model.FNL; end
  if copy, w = cellfun(@(x) x + 0, w, 'UniformOutput', false); end
end

function refused_state(c, u, v, a, message)
  c.u = u; c.v = v; c.a = a;
  refused(c, 'VRK:spardyn:Invalid', message, message);
end

function refused_storage_and_exports()
  c = base(); c.store = newmark_storage(2, c.t(3));
  refused(c, 'VRK:spardyn:WrongSize', [], 'def with fewer rows than N');
  c = base(); c.model.FNL = zeros(4, 1); c.out = newmark_step_output(3, 3, 4);
  c.store = newmark_storage(3, c.t(3), 3, c.t(3));
  refused(c, 'VRK:spardyn:WrongSize', [], 'force snapshots with a row too few');
  c = base(); c.st.iopt = int32(2); c.model.FNL = zeros(2, 1);
  refused(c, 'VRK:spardyn:Invalid', [], 'load factors exported past the end of FNL');
  c = base(); c.st.iopt = int32(0);
  refused(c, 'VRK:spardyn:Invalid', [], 'load factors exported without FNL');
end

function refused_terms()
  c = base(); bad = c.K; bad.ir(end) = int32(7);
  refused(c, 'VRK:spardyn:Invalid', [], 'stiffness row index beyond u', {c.st, c.M, bad});
  % A slider whose internal state would land at u(4) of a 3-entry state.
  refused(c, 'VRK:spardyn:Invalid', 'iu+Nistate too large', 'state one past the end', ...
          {c.st, c.M, c.K, slider(3)});
  c2 = run(c, {c.st, c.M, c.K, slider(2)});
  expect_true(all(isfinite(c.u)), 'a state on the last entry is accepted');
end

% A spring in series with a slider between u(1) and its state u(iu + 1).
function s = slider(iu)
  c = sparse([1 0 0; 0 0 0]);
  s = struct('type', 1003, 'c', sparse_description(c, true), ...
             'b', sparse_description(sparse([1 0 0; 0 0 0])), ...
             'unl', zeros(2, 1), 'vnl', zeros(2, 1), 'snl', zeros(2, 1), ...
             'opt', [double(uint8('sts')) * 256.^(0:2).', 0, 0, 0, 10, 0.5, 0], ...
             'iopt', int32([-1 iu 1 1 1]));
end

% --- what a run writes -------------------------------------------------------------

function no_step_and_one_step()
  c = base(); c.st.tft = c.st.tft(:, 1); c.u = [1; 2; 3] + 0;
  c = run(c);
  expect_equal(c.u, [1; 2; 3], 'one time point: no step');
  expect_equal(c.st.data(6), 0, 'one time point: d5 untouched');

  % One step by hand: the factors of column 1, the time of column 2.
  c = base(); c.st.tft = [0 0.25; 2 99];
  u0 = [0.1; 0.2; 0.3]; v0 = [1; 0; -1]; a0 = [0.5; 0; 0];
  c.u = u0 + 0; c.v = v0 + 0; c.a = a0 + 0;
  run(c);
  d = c.st.data;
  up = u0 + d(1) * v0 + d(2) * a0; vp = v0 + d(3) * a0;
  w = -2 * [0; 0; 1] + c.mK * up;
  an = -w .* c.st.r(:, 3) * d(5);
  expect_near(c.u, up + an / d(5), 1e-15, 'one step: u');
  expect_near(c.v, vp + d(4) / d(5) * an, 1e-13, 'one step: v');
  expect_near(c.a, an, 1e-12, 'one step: a');
  expect_equal(c.st.data(6), 0.25, 'one step: d5 = time of column 2');
  expect_near(c.out.uva.uva, [u0; v0; a0; w], 1e-15, 'start state and residual');
end

function displacement_snapshots()
  c = base(); h = c.t(2);
  % Times 0, h, h, 2h: the second step ends at h again and stores again.
  c.st.tft = [0 h h 2*h; 1 1 1 1];
  c.store.data = [0; h; 1.5 * h; 2 * h]; c.store.def = 7 * ones(3, 4);
  % The reference: one call per step, on arrays of its own.
  r = c; r.u = c.u + 0; r.v = c.v + 0; r.a = c.a + 0; r.store = newmark_storage(3, []);
  U = zeros(3, 3);
  for j = 1:3
    r.st.tft = c.st.tft(:, j:j + 1);
    run(r);
    U(:, j) = r.u;
  end
  c = run(c);
  expect_equal(c.store.def(:, 1), 7 * ones(3, 1), 'a save time equal to the first time is never matched');
  expect_equal(c.store.def(:, 2), U(:, 2), 'a repeated step time stores again');
  expect_equal(c.store.def(:, 3), 7 * ones(3, 1), 'a save time no step reaches keeps its column');
  expect_equal(c.store.def(:, 4), U(:, 3), 'exact match stored');
end

function forces_and_load_factors()
  c = base(); h = c.t(2);
  c.st.tft = [0 h 2*h 3*h; 5 6 7 8];
  c.st.iopt = int32(1);
  c.model.FNL = [9; 0; 9; 9] + 0;
  c.out = newmark_step_output(3, 3, 3);
  c.store = newmark_storage(3, [], 3, [h; 3 * h]);
  run(c);
  expect_equal(c.model.FNL, [9; 7; 9; 9], 'factors of the last step at iopt');
  expect_equal(c.out.uva.FNL, [9; 6; 9], 'step output: FNL as the previous step left it');
  expect_equal(c.store.FNL.def, [9 9; 5 7; 9 9], 'force snapshots after their steps');

  c.st.iopt = int32(-1); c.model.FNL = zeros(4, 1);
  run(c);
  expect_equal(c.model.FNL, zeros(4, 1), 'negative iopt: no export');

  c = base(); c.st.iopt = int32(0); c.model.FNL = zeros(2, 1);
  c.store = newmark_storage(3, [], 2, c.t(2));
  run(c);
  expect_equal(c.store.FNL.def, zeros(2, 1), 'no step-output FNL: no force snapshot');
end

function optional_outputs()
  full = run(base());
  c = base();
  spardyn('chandlediagnewmark', {c.st, c.M, c.K}, c.model, c.u, c.v, c.a, c.ray);
  expect_equal(c.u, full.u, 'without step output and storage');
  c = base(); c.out = struct('uva', struct()); c.store = struct();
  run(c);
  expect_equal(c.u, full.u, 'step output without uva, empty storage');
  c = base(); c.out = struct();
  run(c);
  expect_equal([c.u c.v c.a], [full.u full.v full.a], 'step output without its "uva"');
end

function internal_states_are_carried()
% Six values per state vector, three stepped (u has N rows): entries 4 to 6
% are copied and stored but not stepped.
  c = base(); N = 3;
  c.u = [0 4; 0 5; 0 6] + 0; c.v = [0 1; 0 1; 0 1] + 0; c.a = [0 2; 0 2; 0 2] + 0;
  c.out = newmark_step_output(N, 6);
  c.store = newmark_storage(6, c.t(end));
  ref = run(base());
  run(c);
  expect_equal(c.u(:, 1), ref.u, 'stepped entries as without states');
  expect_equal(c.u(:, 2), [4; 5; 6], 'states not stepped');
  expect_equal(c.v(:, 2), [1; 1; 1], 'state rates not stepped');
  expect_equal(c.store.def, c.u(:), 'snapshot holds the states');
  uva = c.out.uva.uva;
  expect_equal(uva([4:6 10:12 16:18]), [4; 5; 6; 1; 1; 1; 2; 2; 2], 'start copies hold the states');
  expect_equal(numel(uva), 3 * 6 + N, 'step output sized 3 nDef + N');
end

function registered_handles()
  c = base();
  spardyn('chandleclear');
  ids = [spardyn('chandleset', 2000, c.st), spardyn('chandleset', 2, c.M), ...
         spardyn('chandleset', 1, c.K)];
  ref = run(base());
  spardyn('chandlediagnewmark', chandle(ids), c.model, c.u, c.v, c.a, c.ray, c.out, c.store);
  expect_equal([c.u c.v c.a], [ref.u ref.v ref.a], 'registered handles step as cell descriptions');
  stored = spardyn('chandleget', ids(1));
  expect_equal(stored.data(6), c.t(end), 'd5 written into the stored value');
  spardyn('chandleclear');
end
