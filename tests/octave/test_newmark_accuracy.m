function test_newmark_accuracy()
% How accurate the stepper is at the helpers' settings: the frequency-error
% estimate against the exact eigenvalues of the effective-mass system, the
% default setting against lsode on a damped chain (the promised 1 % on the
% lowest frequency), the chooser's trade between beta and the step, and the
% slider's default time increment against an independent integration.
  estimate_against_effective_mass_eigenvalues();
  default_setting_against_lsode();
  tighter_tolerance_is_kept();
  chooser_trades_beta_for_the_step();
  slider_default_increment_is_accurate();
end

% --- shared set-up -------------------------------------------------------------

% n unit masses in a row, the first tied to the ground, springs k.
function [K, m] = chain(n, k)
  e = ones(n, 1);
  K = k * spdiags([-e 2*e -e], -1:1, n, n);
  K(n, n) = k;
  m = ones(n, 1);
end

% Times at which x(t) changes sign, by linear interpolation.
function tc = crossings(t, x)
  i = find(x(1:end - 1) .* x(2:end) < 0);
  tc = t(i) - x(i) .* (t(i + 1) - t(i)) ./ (x(i + 1) - x(i));
end

% The frequency seen in a history: half periods between the first and the
% last sign change.
function w = measured_frequency(t, x)
  tc = crossings(t, x);
  w = pi * (numel(tc) - 1) / (tc(end) - tc(1));
end

% --- the estimate ----------------------------------------------------------------

function estimate_against_effective_mass_eigenvalues()
% The stepper is Newmark's method on Meff = M - beta h^2 (K - diag K)
% - gamma h (C - diag C): the lowest eigenvalue of (K, Meff) and Newmark's
% own period error (cos(W h) = 1 - x/2/(1 + beta x), x = (w h)^2) give the
% frequency it runs at, independently of the helper's arithmetic.
  [K, m] = chain(40, 1e4);
  M = diag(m);
  w0 = sqrt(min(eig(full(K), M)));
  for beta = [0.25 0.05 0.001]
    hmax = newmark_stable_step(m, K, beta, 0.5);
    for frac = [0.9 0.3]
      h = frac * hmax;
      Meff = M - beta * h^2 * (full(K) - diag(diag(K)));
      x = min(eig(full(K), Meff)) * h^2;
      w = acos(1 - x / 2 / (1 + beta * x)) / h;
      exact = w / w0 - 1;
      bound = newmark_frequency_error(m, K, beta, 0.5, h);
      modal = newmark_frequency_error(m, K, beta, 0.5, h, [], 'modes', 1);
      label = sprintf('beta %g, %.1f x the stable step', beta, frac);
      % The Rayleigh quotient on the modes of (K, M): second order in the
      % effective-mass change (the free end makes diag K uneven).
      expect_near(modal, exact, 1e-4, ['modal estimate: ' label]);
      expect_true(bound <= exact + 1e-9 && bound > exact - 2e-3 - 0.05 * abs(exact), ...
                  sprintf('bound %.4g at or below the error %.4g, and close to it: %s', bound, exact, label));
    end
  end
  % The frequency of a native run, started in the lowest mode.
  beta = 0.25; h = 0.9 * newmark_stable_step(m, K, beta, 0.5);
  [V, D] = eig(full(K), M);
  [w2, first] = min(diag(D));
  t = (0:4000) * h;
  sim = newmark_setup(m, K, zeros(40, 1), t, zeros(1, numel(t)), 'beta', beta, ...
                      'u0', V(:, first), 'watch', 40, 'quiet', true);
  newmark_run(sim, 'bar', false);
  r = newmark_history(sim);
  ran = measured_frequency(r.t, r.watched) / sqrt(w2) - 1;
  expect_near(ran, newmark_frequency_error(m, K, beta, 0.5, h, [], 'modes', 1), 1e-3, ...
              sprintf('a run at beta 1/4, 0.9 x the stable step, is %.1f %% low, as estimated', -100 * ran));
end

% --- the default setting ----------------------------------------------------------

% A chain of 50 masses with Rayleigh damping, released from its lowest mode
% (tip at 1 mm), for three periods; lsode at tight tolerances as reference.
function c = released_chain()
  n = 50;
  [K, m] = chain(n, 1e6);
  rayleigh = [0.5 2e-5];
  C = rayleigh(1) * diag(m) + rayleigh(2) * full(K);
  [V, D] = eig(full(K), diag(m));
  [w2, first] = min(diag(D));
  u0 = V(:, first) / V(n, first) * 1e-3;
  T = 3 * 2 * pi / sqrt(w2);
  c = struct('n', n, 'K', K, 'm', m, 'rayleigh', rayleigh, 'C', C, 'u0', u0, ...
             'w', sqrt(w2), 'T', T);
end

function tip = lsode_tip(c, t)
  Kf = full(c.K);
  rhs = @(y, t) [y(c.n + 1:end); -(Kf * y(1:c.n) + c.C * y(c.n + 1:end)) ./ c.m];
  old = {lsode_options('relative tolerance'), lsode_options('absolute tolerance')};
  lsode_options('relative tolerance', 1e-11);
  lsode_options('absolute tolerance', 1e-15);
  Y = lsode(rhs, [c.u0; zeros(c.n, 1)], t);
  lsode_options('relative tolerance', old{1});
  lsode_options('absolute tolerance', old{2});
  tip = Y(:, c.n).';
end

function [err_w, err_tip, sim] = against_lsode(c, t, varargin)
  sim = newmark_setup(c.m, c.K, zeros(c.n, 1), t, @(t) 0 * t, 'rayleigh', c.rayleigh, ...
                      'u0', c.u0, 'watch', c.n, varargin{:});
  newmark_run(sim, 'bar', false);
  r = newmark_history(sim);
  ref = lsode_tip(c, r.t);
  err_w = measured_frequency(r.t, r.watched) / measured_frequency(r.t, ref) - 1;
  err_tip = max(abs(r.watched - ref)) / max(abs(ref));
end

function default_setting_against_lsode()
  c = released_chain();
  [err_w, err_tip, sim] = against_lsode(c, c.T);          % beta and h chosen
  acc = sim.accuracy;
  expect_true(abs(err_w) <= 0.01, sprintf('default setting: frequency %.3f %% off (1 %% promised)', 100 * err_w));
  expect_true(abs(err_w) <= abs(acc.err) + 1e-3, ...
              sprintf('the estimate %.3f %% covers the measured %.3f %%', 100 * acc.err, 100 * err_w));
  % Three periods at a 1 % frequency error shift the history by 6 % of its
  % amplitude at most.
  expect_true(err_tip <= 2 * pi * 3 * 0.01, sprintf('default setting: tip history within %.3g of the peak', err_tip));
  expect_true(acc.h >= 0.85 * acc.hmax, sprintf('the default step is %.2f of its stable step', acc.h / acc.hmax));

  % The former recommendation: beta = 1/4 at 0.9 x its stable step.
  h = 0.9 * newmark_stable_step(c.m, c.K, 0.25, 0.5, c.C);
  state = warning('query', 'newmark_setup:inaccurate');
  warning('error', 'newmark_setup:inaccurate');
  expect_error(@() newmark_setup(c.m, c.K, zeros(c.n, 1), 0:h:c.T, @(t) 0 * t, ...
                                 'beta', 0.25, 'rayleigh', c.rayleigh), ...
               'newmark_setup:inaccurate', [], 'a caller''s inaccurate choice is warned about');
  warning(state.state, 'newmark_setup:inaccurate');
  [old_w, old_tip] = against_lsode(c, 0:h:c.T, 'beta', 0.25, 'quiet', true);
  expect_true(old_w < -0.1 && old_tip > 5 * err_tip, ...
              sprintf('beta 1/4 at 0.9 x its stable step: %.1f %% low, tip off by %.2g of the peak', ...
                      -100 * old_w, old_tip));
end

function tighter_tolerance_is_kept()
  c = released_chain();
  [err_w, ~, sim] = against_lsode(c, c.T, 'tol', 1e-3);
  expect_true(abs(sim.accuracy.err) <= 1e-3 + 1e-12 && abs(err_w) <= 1e-3, ...
              sprintf('tol 0.1 %%: estimated %.4f %%, measured %.4f %%', ...
                      100 * sim.accuracy.err, 100 * err_w));
end

% --- the chooser ------------------------------------------------------------------

function chooser_trades_beta_for_the_step()
% For the chain (k_ii/m_i = 2k, Gershgorin rho = 4k, sigma = 2k, no
% damping) the accuracy limit at beta is sqrt(q / (2 beta k)) with
% q = (1 - tol)^-2 - 1 and the stable step 1/sqrt(k (1 - 2 beta)).
  k = 1e4; tol = 0.01;
  [K, m] = chain(30, k);
  K(30, 30) = 2 * k;                      % both ends held: every row alike
  q = 1 / (1 - tol)^2 - 1;
  [h, beta, info] = newmark_accurate_step(m, K, []);
  expect_true(h <= 0.9 * info.hmax * (1 + 1e-12) && info.err >= -tol - 1e-12, ...
              'the choice is stable with the margin and within the tolerance');
  expect_near(info.hmax, 1 / sqrt(k * (1 - 2 * beta)), 1e-12, 'stable step at the chosen beta');
  [h4, ~, info4] = newmark_accurate_step(m, K, [], 'beta', 0.25);
  expect_near(h4, sqrt(q / (2 * 0.25 * k)), 1e-12, 'beta 1/4: the accuracy limit');
  expect_equal(info4.limit, 'accuracy', 'beta 1/4 is limited by accuracy');
  expect_true(h > 4 * h4, sprintf('the chosen step is %.1f times the accurate step at beta 1/4', h / h4));
  % Longest step within the tolerance: no beta gives a step 1 % longer.
  betas = logspace(-4, log10(0.25), 400);
  longest = max(min(0.9 ./ sqrt(k * (1 - 2 * betas)), sqrt(q ./ (2 * betas * k))));
  expect_true(h >= 0.99 * longest * (1 - 1e-9) && h <= longest * (1 + 1e-9), ...
              sprintf('the step is %.4f of the longest one within the tolerance', h / longest));
  % A given step: the smallest beta stable at it (the most accurate).
  hs = 0.95 / sqrt(k);
  [~, b] = newmark_accurate_step(m, K, [], 'h', hs);
  expect_near(0.9 / sqrt(k * (1 - 2 * b)), hs, 1e-9, 'beta that makes the given step 0.9 x stable');
end

% --- the slider's time increment --------------------------------------------------

% A mass on an elasto-plastic spring (stiffness k, yield force fy) under a
% sine load, integrated independently: velocity Verlet at a small step with
% the slider following the displacement wherever the spring force would
% exceed fy.
function x = elastoplastic(m, k, fy, F, w, T, h)
  n = round(T / h); x = zeros(1, n + 1); v = 0; y = 0; xi = 0; a = 0;
  for j = 1:n
    v += h / 2 * a; xi += h * v;
    y = min(max(y, xi - fy / k), xi + fy / k);
    a = (F * sin(w * j * h) - k * (xi - y)) / m;
    v += h / 2 * a;
    x(j + 1) = xi;
  end
end

function slider_default_increment_is_accurate()
  m = 1; k = 16 * pi^2; fy = 0.5; F = 1; w = 2 * pi * 1.3; T = 3;
  href = 1e-5;
  ref = elastoplastic(m, k, fy, F, w, T, href);
  run = @(h, varargin) slider_run(m, k, fy, F, w, T, h, varargin{:});
  errs = zeros(1, 2);
  hs = [0.016 0.002];
  for i = 1:2
    x = run(hs(i));
    r = ref(1:round(hs(i) / href):end);
    errs(i) = max(abs(x - r)) / max(abs(r));
  end
  expect_true(errs(1) < 5e-3, sprintf('default increment at w h = 0.2: %.2g of the peak', errs(1)));
  expect_true(errs(2) < errs(1) / 20, sprintf('error falls faster than h: %.2g -> %.2g over 8 x', errs));
  h = 0.008;
  r = ref(1:round(h / href):end);
  ahead = max(abs(run(h, 'h', h) - r)) / max(abs(r));
  plain = max(abs(run(h) - r)) / max(abs(r));
  expect_true(ahead > 0.1 && ahead > 20 * plain, ...
              sprintf('a look-ahead of one step is far off (%.2g against %.2g)', ahead, plain));
end

function x = slider_run(m, k, fy, F, w, T, h, varargin)
  term = nl_slider(1, [1 0], [], k, fy, varargin{:});
  sim = newmark_setup(m, sparse(1, 1), 1, 0:h:T, @(t) F * sin(w * t), 'terms', {term}, ...
                      'watch', 1, 'quiet', true);
  newmark_run(sim, 'bar', false);
  r = newmark_history(sim);
  x = r.watched;
end
