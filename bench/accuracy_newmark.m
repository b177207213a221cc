% Accuracy against cost of the diagonal Newmark stepper, at several (beta, h):
%
%  - a chain of 50 masses (clamped at one end, Rayleigh damping 0.8 % of
%    critical in its lowest mode, 2 % at its highest), released from its
%    lowest mode and run for three periods, and the same chain struck at
%    its free end by a load pulse a quarter of that period long, both
%    against lsode at tight tolerances;
%  - the main job's steel block (102,000 DOF), where only the estimate is
%    computed, and a coarser block of the same shape (40 x 12 x 8 bricks),
%    released from its lowest mode (eigs) and run for two periods.
%
% Columns: the step as a fraction of the stable step, steps per simulated
% second (1/h), the estimated error of the lowest frequency
% (newmark_frequency_error: the bound, and the modal value), the measured
% error of that frequency (sign changes of the tip over the run, against
% the reference's), and the largest error of the tip history relative to
% its peak (released, and struck by the pulse).  Last, the pair
% newmark_accurate_step chooses.
%
%   octave-cli bench/accuracy_newmark.m [build dir]     (default: build/)
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'), fullfile(root, 'examples'));

function tc = crossings(t, x)
  i = find(x(1:end - 1) .* x(2:end) < 0);
  tc = t(i) - x(i) .* (t(i + 1) - t(i)) ./ (x(i + 1) - x(i));
end

function w = frequency_of(t, x)
  tc = crossings(t, x);
  w = pi * (numel(tc) - 1) / (tc(end) - tc(1));
end

% Tip history of a native run (beta, step h) over [0, T].
function [t, tip] = native_tip(m, K, C, rayleigh, F, f, u0, beta, h, T, tip_dof)
  n = rows(K);
  sim = newmark_setup(m, K, F, 0:h:T, f, 'rayleigh', rayleigh, 'u0', u0, ...
                      'beta', beta, 'watch', tip_dof, 'quiet', true);
  newmark_run(sim, 'bar', false, 'chunk', 200, 'balance', 1e9);
  r = newmark_history(sim);
  t = r.t; tip = r.watched;
end

function tip = lsode_tip(K, C, m, F, f, u0, t, tip_dof)
  n = rows(K); Kf = full(K); Cf = full(C);
  rhs = @(y, s) [y(n + 1:end); (F * f(s) - Kf * y(1:n) - Cf * y(n + 1:end)) ./ m];
  lsode_options('relative tolerance', 1e-11);
  lsode_options('absolute tolerance', 1e-15);
  Y = lsode(rhs, [u0; zeros(n, 1)], t);
  tip = Y(:, tip_dof).';
end

% --- the chain ---------------------------------------------------------------------
n = 50; k = 1e6;
e = ones(n, 1);
K = k * spdiags([-e 2*e -e], -1:1, n, n); K(n, n) = k;
m = ones(n, 1);
rayleigh = [0.5 2e-5];
C = rayleigh(1) * spdiags(m, 0, n, n) + rayleigh(2) * K;
[V, D] = eig(full(K), diag(m));
[w2, first] = min(diag(D));
u0 = V(:, first) / V(n, first) * 1e-3;
w1 = sqrt(w2);
T = 3 * 2 * pi / w1;
F = zeros(n, 1); F(n) = 1e3;
pulse = 0.25 * 2 * pi / w1;
strike = @(t) sin(pi * t / pulse).^2 .* (t < pulse);
none = @(t) 0 * t;
printf('Chain of %d masses, lowest frequency %.3f Hz, %.3f s simulated (3 periods)\n\n', n, w1 / 2 / pi, T);
printf('%8s %7s %9s %11s %11s %11s %10s %10s\n', 'beta', 'h/hmax', 'steps/s', 'est. bound', ...
       'est. modes', 'measured', 'released', 'struck');

function row(beta, h, hmax, m, K, C, rayleigh, F, u0, T, n, none, strike)
  [t, tip] = native_tip(m, K, C, rayleigh, F, none, u0, beta, h, T, n);
  ref = lsode_tip(K, C, m, F, none, u0, t, n);
  measured = frequency_of(t, tip) / frequency_of(t, ref) - 1;
  released = max(abs(tip - ref)) / max(abs(ref));
  [t, tip] = native_tip(m, K, C, rayleigh, F, strike, zeros(n, 1), beta, h, T, n);
  ref = lsode_tip(K, C, m, F, strike, zeros(n, 1), t, n);
  struck = max(abs(tip - ref)) / max(abs(ref));
  printf('%8.4g %7.3f %9.0f %10.2f%% %10.2f%% %10.2f%% %10.2e %10.2e\n', beta, h / hmax, 1 / h, ...
         100 * newmark_frequency_error(m, K, beta, 0.5, h, C), ...
         100 * newmark_frequency_error(m, K, beta, 0.5, h, C, 'modes', 1), ...
         100 * measured, released, struck);
end

for beta = [0.25 1/12 0.02 0.001]
  hmax = newmark_stable_step(m, K, beta, 0.5, C);
  for frac = [0.9 0.5 0.25 0.1]
    row(beta, frac * hmax, hmax, m, K, C, rayleigh, F, u0, T, n, none, strike);
  end
end
[h, beta, info] = newmark_accurate_step(m, K, C);
printf('newmark_accurate_step (tol 1 %%), limited by %s:\n', info.limit);
row(beta, h, info.hmax, m, K, C, rayleigh, F, u0, T, n, none, strike);
[h, beta, info] = newmark_accurate_step(m, K, C, 'tol', 1e-3);
printf('newmark_accurate_step (tol 0.1 %%), limited by %s:\n', info.limit);
row(beta, h, info.hmax, m, K, C, rayleigh, F, u0, T, n, none, strike);

% --- the blocks ----------------------------------------------------------------------
rayleigh = [20 2e-8];
printf('\nMain job''s block (80 x 24 x 16 bricks): estimate only\n');
printf('%8s %7s %12s %11s\n', 'beta', 'h/hmax', 'steps/ms', 'est. bound');
block = elastic_block([0.8 0.24 0.16], [80 24 16], 210e9, 0.3, 7800);
N = rows(block.K);
C = rayleigh(1) * spdiags(block.m, 0, N, N) + rayleigh(2) * block.K;
for beta = [0.25 1/12 0.02 0.001]
  hmax = newmark_stable_step(block.m, block.K, beta, 0.5, C);
  for frac = [0.9 0.5 0.25 0.14]
    h = frac * hmax;
    printf('%8.4g %7.3f %12.0f %10.2f%%\n', beta, frac, 1e-3 / h, ...
           100 * newmark_frequency_error(block.m, block.K, beta, 0.5, h, C));
  end
end
[h, beta, info] = newmark_accurate_step(block.m, block.K, C);
printf('newmark_accurate_step: beta %.4g, %.3f of the stable step, %.0f steps/ms, %.2f %%\n', ...
       beta, h / info.hmax, 1e-3 / h, 100 * info.err);
clear block C

coarse = elastic_block([0.8 0.24 0.16], [40 12 8], 210e9, 0.3, 7800);
N = rows(coarse.K);
Ms = spdiags(coarse.m, 0, N, N);
C = rayleigh(1) * Ms + rayleigh(2) * coarse.K;
[V, D] = eigs(coarse.K, Ms, 1, 'sm');
w1 = sqrt(D);
tip = coarse.dof(0.8, 0.12, 0.08, 3);
u0 = V / V(tip) * 1e-4;
T = 2 * 2 * pi / w1;
printf('\nCoarse block (40 x 12 x 8 bricks, %d DOF), lowest frequency %.1f Hz, released from it for 2 periods\n', ...
       N, w1 / 2 / pi);
printf('%8s %7s %12s %11s %11s %11s\n', 'beta', 'h/hmax', 'steps/ms', 'est. bound', 'est. modes', 'measured');
for beta = [0.25 0.02 0.001]
  hmax = newmark_stable_step(coarse.m, coarse.K, beta, 0.5, C);
  for frac = [0.9 0.25]
    h = frac * hmax;
    [t, x] = native_tip(coarse.m, coarse.K, C, rayleigh, zeros(N, 1), @(t) 0 * t, u0, beta, h, T, tip);
    % Undamped reference frequency, shifted by the damping of the mode.
    zeta = (rayleigh(1) / w1 + rayleigh(2) * w1) / 2;
    measured = frequency_of(t, x) / (w1 * sqrt(1 - zeta^2)) - 1;
    printf('%8.4g %7.3f %12.0f %10.2f%% %10.2f%% %10.2f%%\n', beta, frac, 1e-3 / h, ...
           100 * newmark_frequency_error(coarse.m, coarse.K, beta, 0.5, h, C), ...
           100 * newmark_frequency_error(coarse.m, coarse.K, beta, 0.5, h, C, 'modes', 1), ...
           100 * measured);
  end
end
