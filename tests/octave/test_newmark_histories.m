function test_newmark_histories()
% What the helpers record and report: snapshots on the time points with the
% initial state first, watched values and the work of the loads at every
% step, state DOFs appended for the terms, runs stopped within a chunk of
% going wrong with a message that says what and where, arguments checked by
% name, the progress bar in a log, and the help texts.
  save_times_snap_to_the_steps();
  watch_follows_every_step();
  work_at_every_step_keeps_the_balance();
  appended_states_equal_states_added_by_hand();
  friction_increment_is_the_step();
  nonfinite_values_are_named();
  unstable_run_stops_early();
  arguments_are_checked_by_name();
  progress_bar_in_a_log();
  help_texts();
end

function [K, m] = chain(n, k)
  e = ones(n, 1);
  K = k * spdiags([-e 2*e -e], -1:1, n, n);
  m = 1 + 0.3 * sin((1:n)');
end

% A pulse at the end of a chain of n masses at frac x the stable step of
% beta 1/4, with further newmark_setup options.
function sim = pulse_sim(n, frac, varargin)
  [K, m] = chain(n, 1e4);
  F = zeros(n, 1); F(n) = 1;
  h = frac * newmark_stable_step(m, K, 0.25, 0.5);
  t = (0:300) * h;
  sim = newmark_setup(m, K, F, t, @(t) sin(pi * t / (40 * h)).^2 .* (t < 40 * h), ...
                      'quiet', true, varargin{:});
end

% --- histories ----------------------------------------------------------------------

function save_times_snap_to_the_steps()
  n = 6;
  u0 = (1:n)' / n;
  sim = pulse_sim(n, 0.5, 'u0', u0);
  t = sim.t; h = t(2) - t(1);
  s = pulse_sim(n, 0.5, 'u0', u0, 'save', [t(1), 10.4 * h, t(21) + 1e-13, t(end), 10.6 * h]);
  expect_equal(s.store.data.', t([1 11 12 21 end]), 'save times on the nearest time points, sorted');
  expect_equal(s.store.def(:, 1), u0, 'first column: the initial state');
  sim = pulse_sim(n, 0.5, 'u0', u0, 'save', t);
  newmark_run(s, 'bar', false);
  newmark_run(sim, 'bar', false);
  expect_equal(s.store.def, sim.store.def(:, [1 11 12 21 numel(t)]), ...
               'snapshots at the snapped times are those of the time points');
  expect_true(all(any(s.store.def ~= 0, 1)), 'no column of zeros');
  expect_error(@() pulse_sim(n, 0.5, 'save', t(end) + h), '', [], 'a save time beyond the run is refused');
end

function watch_follows_every_step()
% The watched values at every step, reconstructed from the predicted state
% the recorders see, equal u and v at every time point (snapshots of u; v
% from a run of one step per call).
  for beta = [0.25 0.001]
    s = pulse_sim(8, 0.5, 'beta', beta, 'rayleigh', [1 1e-4], 'watch', [8; 3], 'save', []);
    s.store.data = s.t(:);
    s.store.def = zeros(8, numel(s.t));
    s.store.def(:, 1) = s.u;
    newmark_run(s, 'bar', false, 'chunk', 7);
    r = newmark_history(s);
    expect_equal(r.t, s.t, 'one column per time point');
    expect_near(r.watched, s.store.def([8 3], :), 1e-12, ...
                sprintf('watched u at every step equals the snapshots (beta %g)', beta));
    v = pulse_sim(8, 0.5, 'beta', beta, 'rayleigh', [1 1e-4], 'watch', [8; 3]);
    vs = zeros(2, numel(v.t)); vs(:, 1) = v.v([8 3]);
    for j = 2:numel(v.t)
      newmark_run(v, 'bar', false, 'stop_at', v.t(j));
      vs(:, j) = v.v([8 3]);
    end
    rv = newmark_history(v);
    expect_near(rv.watched_v, vs, 1e-12, sprintf('watched velocities at every step (beta %g)', beta));
  end
  % A matrix: the rows are combinations of u.
  s = pulse_sim(8, 0.5, 'watch', [ones(1, 8); zeros(1, 7) 1]);
  newmark_run(s, 'bar', false);
  r = newmark_history(s);
  expect_near(r.watched(:, end), [sum(s.u); s.u(8)], 1e-14, 'a watch matrix observes its rows');
end

function work_at_every_step_keeps_the_balance()
% The work of the loads summed at every step from the recorded F'u: in an
% undamped run, kinetic + strain energy of the stepper equals it at every
% check, also with chunks that span changing load factors.
  s = pulse_sim(30, 0.6);
  newmark_run(s, 'bar', false, 'chunk', 13, 'balance', 1);
  p = s.progress;
  r = newmark_history(s);
  expect_true(p.W(end) > 0 && max(abs(p.balance)) < 1e-12 * p.W(end), ...
              'undamped: the kept energy equals the work, chunk by chunk');
  [~, at] = ismember(p.t, r.t);
  expect_near(r.W(at), p.W, 1e-12, 'the history''s work equals the balance''s');
  one = pulse_sim(30, 0.6);
  for j = 2:numel(one.t)
    newmark_run(one, 'bar', false, 'stop_at', one.t(j));
  end
  expect_near(one.progress.W(end), p.W(end), 1e-12, 'the same work as one step per call');
end

% --- terms --------------------------------------------------------------------------

function appended_states_equal_states_added_by_hand()
% Two Dahl terms and a slider built with first = [] against the same terms
% with their states appended to M, K and F by hand.
  n = 6;
  [K, m] = chain(n, 1e4);
  F = zeros(n, 1); F(n) = 1;
  f = @(t) sin(2 * pi * 5 * t);
  t = (0:200) * 2e-3;
  auto = {nl_dahl(n, [2 0; 4 5], [], 0.3, 2e3), nl_slider(n, [6 0], [], 500, 0.02), ...
          nl_dahl(n, [1 0], [], 0.1, 1e3)};
  a = newmark_setup(m, K, F, t, f, 'terms', auto, 'watch', [6; 7; 9; 10], 'quiet', true);
  expect_equal(a.states, {[7; 8], 9, 10}, 'states after the model, term after term');
  expect_equal(size(a.u), [10 1], 'the stepped vector holds them');
  hand = {nl_dahl(10, [2 0; 4 5], 7, 0.3, 2e3), nl_slider(10, [6 0], 9, 500, 0.02), ...
          nl_dahl(10, [1 0], 10, 0.1, 1e3)};
  b = newmark_setup([m; ones(4, 1)], blkdiag(K, sparse(4, 4)), [F; zeros(4, 1)], t, f, ...
                    'terms', hand, 'beta', a.accuracy.beta, 'quiet', true);
  newmark_run(a, 'bar', false);
  newmark_run(b, 'bar', false);
  expect_equal(a.u, b.u, 'same run as with the states added by hand');
  expect_true(all(a.u(7:10) ~= 0), 'the states moved');
  expect_error(@() newmark_setup(m, K, F, t, f, 'terms', {nl_dahl(n + 1, [2 0], [], 0.3, 2e3)}), ...
               '', [], 'a term built for another model is refused');
end

function friction_increment_is_the_step()
% A run that starts at t = 1 s: the module alone would take the time of
% the first evaluation (1.002 s) as the friction increment.
  t = 1 + (0:50) * 2e-3;
  term = nl_dahl(1, [1 0], [], 0.4, 5e3);
  sim = newmark_setup(1, 100, 1, t, @(t) sin(2 * pi * 3 * t), 'terms', {term}, 'quiet', true);
  expect_near(sim.handles{end}.opt(3), 2e-3, 1e-15, 'Dahl increment: the step');
  kept = nl_dahl(1, [1 0], [], 0.4, 5e3, 'h', 1e-3);
  sim = newmark_setup(1, 100, 1, t, @(t) 0 * t, 'terms', {kept}, 'quiet', true);
  expect_equal(sim.handles{end}.opt(3), 1e-3, 'a given increment is kept');
end

% --- faults -------------------------------------------------------------------------

function nonfinite_values_are_named()
  n = 10;
  [K, m] = chain(n, 1e4);
  F = zeros(n, 1); F(n) = 1;
  h = 0.5 * newmark_stable_step(m, K, 0.25, 0.5);
  t = (0:400) * h;
  % A power spring with exponent 1.5 gives NaN once its elongation is
  % negative.
  sim = newmark_setup(m, K, F, t, @(t) sin(40 * t), 'terms', {nl_power(n, [5 0], 1e3, 1.5)}, ...
                      'quiet', true, 'watch', 5);
  state = warning('off', 'newmark_run:nonfinite');
  newmark_run(sim, 'bar', false, 'chunk', 5);
  warning(state.state, 'newmark_run:nonfinite');
  p = sim.progress;
  r = newmark_history(sim);
  first = find(~isfinite(r.watched), 1);      % the first step that went wrong
  expect_true(p.diverged && ~isempty(first) && p.j <= first + 5, ...
              sprintf('stopped within a chunk of 5 steps (at step %d)', p.j - 1));
  expect_true(~isempty(strfind(p.reason, 'u(')) && ~isempty(strfind(p.reason, 'sim.handles{4} (law Power)')), ...
              ['the message names the DOFs and the term: ' p.reason]);
  state = warning('error', 'newmark_run:diverged');
  expect_error(@() newmark_run(sim, 'bar', false), 'newmark_run:diverged', [], 'a stopped run stays stopped');
  warning(state.state, 'newmark_run:diverged');
  expect_error(@() newmark_setup(m, K, F, t, @(t) 1 ./ (t - t(3)), 'quiet', true), '', ...
               sprintf(['newmark_setup: load factor 1 is Inf at t = %.6g s (time point 3): ' ...
                        'the loads must be finite'], t(3)), ...
               'a load that is not finite is refused, with its time');
  u0 = zeros(n, 1); u0(4) = NaN;
  expect_error(@() newmark_setup(m, K, F, t, @(t) 0 * t, 'u0', u0), '', ...
               'newmark_setup: u0(4) is NaN: the initial state must be finite', 'initial state');
  bad = F; bad(2) = Inf;
  expect_error(@() newmark_setup(m, K, bad, t, @(t) 0 * t), '', ...
               'newmark_setup: F(2, 1) is Inf: the load shapes must be finite', 'load shape');
end

function unstable_run_stops_early()
% 1.2 x the stable step at beta 1/4 (the Gershgorin bound is conservative:
% at 1.1 x this chain still runs): stopped long before overflow, its
% amplitude about 1e-4.
  sim = pulse_sim(8, 1.2, 'beta', 0.25);
  state = warning('error', 'newmark_run:diverged');
  expect_error(@() newmark_run(sim, 'bar', false), 'newmark_run:diverged', [], 'diverged');
  warning(state.state, 'newmark_run:diverged');
  p = sim.progress;
  expect_true(p.diverged && p.j < 100 && max(abs(sim.u)) < 1e-2, ...
              sprintf('stopped at step %d with |u| = %.2g', p.j - 1, max(abs(sim.u))));
  expect_true(~isempty(strfind(p.reason, 'stable step')), 'the reason points at the step');
end

% --- messages -----------------------------------------------------------------------

function arguments_are_checked_by_name()
  [K, m] = chain(5, 1);
  F = ones(5, 1); t = 0:0.1:1; f = @(t) 0 * t;
  expect_error(@() newmark_stepper(m, [], K, 0.1, 0.25, 0.5, F.'), '', ...
               ['newmark_stepper: F must be N x Nb, one column per load shape (zeros(N,1) for ' ...
                'none), with N = 5 (the size of K); it is 1 x 5'], 'stepper: F a row');
  expect_error(@() newmark_setup(K, m, F, t, f), '', ...
               'newmark_setup: K must be the square N x N stiffness matrix, is 5 x 1 (M and K in the wrong order?)', ...
               'setup: M and K swapped');
  expect_error(@() newmark_setup(K, K, F, t, f), '', ...
               'newmark_setup: M must be a lumped (diagonal) mass; this one has off-diagonal entries (M and K in the wrong order?)', ...
               'setup: a stiffness as mass');
  expect_error(@() newmark_setup(m, K, F.', t, f), '', ...
               'newmark_setup: F must be N x Nb, one column per load shape (N = 5, the rows of K), is 1 x 5', ...
               'setup: F a row');
  expect_error(@() newmark_setup(m, K, F, t, ones(2, 11)), '', ...
               'newmark_setup: factors must be 1 x 11 (one row per load shape, one column per time point), is 2 x 11', ...
               'setup: factors');
  expect_error(@() newmark_setup(m, K, F, t, f, 'C', eye(4)), '', ...
               'newmark_setup: ''C'' must be an N x N damping matrix (N = 5), is 4 x 4', 'setup: C');
  expect_error(@() newmark_setup(m, K, F, t, f, 'watch', 6), '', ...
               'newmark_setup: ''watch'' DOFs must lie in 1 … 5', 'setup: watch');
  expect_error(@() newmark_setup(m, K, F, t, f, 'u0', ones(4, 1)), '', ...
               'newmark_setup: ''u0'' must hold 5 values (one per DOF), holds 4', 'setup: u0');
  expect_error(@() newmark_setup(m, K, F, 1, ones(1, 11)), '', [], ...
               'setup: an end time needs factors as a function');
  expect_error(@() newmark_setup(m, K, F, t, f, 'terms', {nl_dahl(5, [1 0], [], 1, 10, 'fnl', 1)}), '', ...
               ['newmark_setup: term 1 copies 2 outputs into FNL from entry 1, but the model''s ' ...
                'FNL holds 0: give ''model'', struct(''FNL'', zeros(2, 1))'], ...
               'setup: a term''s forces need room in the model''s FNL');
end

function progress_bar_in_a_log()
  s = pulse_sim(8, 0.5);
  out = evalc('newmark_run(s, ''bar'', ''lines'');');
  lines = strsplit(strtrim(out), "\n");
  expect_true(isempty(strfind(out, "\r")) && numel(lines) >= 10 && numel(lines) <= 12, ...
              sprintf('whole lines, one per 10 %% (%d lines)', numel(lines)));
  expect_true(~isempty(strfind(lines{1}, ' s left')) && ~isempty(strfind(lines{end}, 'done')), ...
              'each line gives the time left');
  s = pulse_sim(8, 0.5);
  out = evalc('newmark_run(s, ''bar'', ''live'');');
  expect_true(~isempty(strfind(out, "\r")), 'on a terminal the bar is redrawn in place');
end

function help_texts()
  run_help = evalc('help newmark_run');
  expect_true(isempty(strfind(run_help, '''until''')) && ~isempty(strfind(run_help, '''stop_at''')), ...
              'newmark_run documents ''stop_at'', not ''until''');
  module_help = evalc('help spardyn');
  expect_true(~isempty(strfind(module_help, 'chandlediagnewmark')) && ~isempty(strfind(module_help, 'docs/')), ...
              'help spardyn lists the commands and points to docs/');
  expect_equal(spardyn(), 1.0001, 'the module still answers beside its help file');
  expect_equal(exist('spardyn'), 3, 'spardyn is the MEX file');
end
