function test_newmark_helpers()
% The Octave helpers around the stepper: coefficients, time table, stable
% step, and the chunked run with its resume and energy balance.
  stepper_coefficients();
  time_table_shift();
  stable_step_bounds();
  chunked_run_equals_one_call();
  stop_and_resume();
  interrupted_chunk_is_booked();
  energy_balance_of_runs();
  diverging_run_is_flagged();
end

function [K, m] = chain(n, k)
  e = ones(n, 1);
  K = k * spdiags([-e 2*e -e], -1:1, n, n);
  m = ones(n, 1);
end

function stepper_coefficients()
  K = sparse([4 -1; -1 3]); M = diag([2 5]); C = sparse([0.5 0; 0 0.2]);
  h = 0.1; beta = 0.3; gamma = 0.6;
  st = newmark_stepper(M, C, K, h, beta, gamma, [1 0; 0 2]);
  expect_equal(st.type, 2000, 'type code');
  expect_near(st.data, [h, 0.2 * h^2, 0.4 * h, 0.6 / (0.3 * h), 1 / (0.3 * h^2), 0], 1e-15, 'd0 ... d5');
  expect_equal(st.r(:, 2:3), -[1 0; 0 2], 'load shapes negated');
  expect_near(st.r(:, 4), beta * h^2 ./ ([2; 5] + gamma * h * [0.5; 0.2] + beta * h^2 * [4; 3]), 1e-16, 'correction factors after the shapes');
  st2 = newmark_stepper([2; 5], [0.5; 0.2], [4; 3], h, beta, gamma, [1 0; 0 2]);
  expect_equal(st2.r, st.r, 'diagonals given as vectors');
  expect_error(@() newmark_stepper(M, C, K, h, 0, gamma, [1; 0]), '', [], 'beta = 0 refused');
  expect_error(@() newmark_stepper(M, C, K, h, beta, gamma, zeros(2, 0)), '', [], 'no load shape refused');
end

function time_table_shift()
  tft = newmark_time_table([0 1 2 3], [10 11 12 13; 20 21 22 23]);
  expect_equal(tft, [0 1 2 3; 11 12 13 13; 21 22 23 23], 'column j holds the factors of t(j+1)');
  tft = newmark_time_table(0:2, @(t) 2 * t);
  expect_equal(tft, [0 1 2; 2 4 4], 'factors from a function');
  expect_error(@() newmark_time_table([0 1 1], [1 1 1]), '', [], 'times must increase');
end

function stable_step_bounds()
% Chain of unit masses, springs k: Gershgorin gives omega_max^2 <= 4k and
% the off-diagonal row sum 2k, hence hmax = 1/sqrt(2 beta k) for beta >=
% gamma/2 and the central-difference limit 2/sqrt(4k) for beta = 0.
  k = 100;
  [K, m] = chain(20, k);
  [h, w] = newmark_stable_step(m, K, 0.25, 0.5);
  expect_near(h, 1 / sqrt(0.5 * k), 1e-12, 'average acceleration: 1/sqrt(2 beta k)');
  expect_near(w, 2 * sqrt(k), 1e-12, 'omega_max bound');
  expect_near(newmark_stable_step(m, K, 0, 0.5), 1 / sqrt(k), 1e-12, 'beta = 0: central difference');
  state = warning('query', 'newmark_stable_step:unstable');
  warning('error', 'newmark_stable_step:unstable');
  newmark_stable_step(m, K, 0.25, 0.5, [], 0.9 * h);
  expect_error(@() newmark_stable_step(m, K, 0.25, 0.5, [], 1.1 * h), ...
               'newmark_stable_step:unstable', [], 'warning above the bound');
  warning(state.state, 'newmark_stable_step:unstable');
end

function sim = pulse_run(n, hfactor, varargin)
  k = 1e4;
  [K, m] = chain(n, k);
  h = hfactor * newmark_stable_step(m, K, 0.25, 0.5);
  F = zeros(n, 1); F(end) = 1;
  t = 0:h:400 * h;
  pulse = @(t) sin(pi * t / (40 * h)).^2 .* (t < 40 * h);
  warning('off', 'newmark_stable_step:unstable');
  warning('off', 'newmark_setup:inaccurate');
  sim = newmark_setup(m, K, F, t, pulse, varargin{:});
  warning('on', 'newmark_setup:inaccurate');
  warning('on', 'newmark_stable_step:unstable');
end

function chunked_run_equals_one_call()
  a = pulse_run(12, 0.5, 'rayleigh', [1 1e-5]);
  b = pulse_run(12, 0.5, 'rayleigh', [1 1e-5]);
  newmark_run(a, 'chunk', 7, 'bar', false);
  spardyn('chandlediagnewmark', b.handles, b.model, b.u, b.v, b.a, b.rayleigh, b.out, b.store);
  expect_equal([a.u a.v a.a], [b.u b.v b.a], 'chunks give the one-call result bitwise');
  expect_equal(a.progress.j, numel(a.t), 'progress at the last time point');
end

function stop_and_resume()
  a = pulse_run(12, 0.5);
  b = pulse_run(12, 0.5);
  newmark_run(a, 'bar', false);
  newmark_run(b, 'stop_at', b.t(123), 'bar', false);
  expect_equal(b.progress.j, 123, 'stopped at the requested time point');
  expect_equal(b.handles{1}.data(6), b.t(123), 'the stepper''s clock says where');
  newmark_run(b, 'chunk', 13, 'bar', false);
  expect_equal([b.u b.v], [a.u a.v], 'resumed run ends where the whole run does');
  expect_near(b.progress.W(end), a.progress.W(end), 1e-12 * abs(a.progress.W(end)), 'same work of the loads');
end

function interrupted_chunk_is_booked()
% As if Ctrl-C arrived while the module ran a chunk: the state moved on, the
% progress was not booked.  The next run books it from the stepper's clock.
  a = pulse_run(12, 0.5);
  b = pulse_run(12, 0.5);
  newmark_run(a, 'bar', false);
  newmark_run(b, 'stop_at', b.t(100), 'bar', false);
  hs = b.handles; hs{1}.tft = b.tft(:, 100:150);
  b.progress.begin_chunk(100, 150);
  spardyn('chandlediagnewmark', hs, b.model, b.u, b.v, b.a, b.rayleigh, b.out, b.store);
  newmark_run(b, 'bar', false);
  expect_equal(b.u, a.u, 'the run goes on from the state the module left');
  expect_near(b.progress.W(end), a.progress.W(end), 1e-12 * abs(a.progress.W(end)), 'the interrupted chunk''s work is booked');
  expect_equal(numel(b.progress.t), numel(unique(b.progress.t)), 'no time booked twice');
end

function energy_balance_of_runs()
  s = pulse_run(30, 0.6);
  newmark_run(s, 'bar', false);
  p = s.progress;
  expect_true(p.W(end) > 0, 'the pulse does work');
  expect_true(max(abs(p.balance)) < 1e-12 * p.W(end), 'undamped: kept energy = work of the loads');
  d = pulse_run(30, 0.6, 'rayleigh', [5 0]);
  newmark_run(d, 'bar', false);
  q = d.progress;
  expect_true(q.balance(end) < -0.1 * q.W(end) && all(diff(q.balance) <= 1e-15 * q.W(end)), ...
              'damped: the balance falls as damping dissipates');
  expect_true(~q.diverged && ~p.diverged, 'stable runs are not flagged');
end

function diverging_run_is_flagged()
  s = pulse_run(30, 1.3);
  state = warning('query', 'newmark_run:diverged');
  warning('error', 'newmark_run:diverged');
  expect_error(@() newmark_run(s, 'chunk', 20, 'bar', false), 'newmark_run:diverged', [], ...
               'warning newmark_run:diverged');
  warning(state.state, 'newmark_run:diverged');
  expect_true(s.progress.diverged, 'progress marked diverged');
  expect_true(s.progress.j < numel(s.t) && all(isfinite(s.u)), 'stopped before the numbers overflow');
end
