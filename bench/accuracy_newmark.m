% Accuracy against cost of the diagonal Newmark stepper: a chain of 200
% masses (clamped at one end, Rayleigh damping) under a smooth load pulse at
% its free end, stepped natively at several (beta, h) and compared with
% lsode at tight tolerances.  For each pair it prints the step as a
% fraction of the stable step, the steps per simulated second, the
% estimated frequency error of the lowest modes (newmark_frequency_error:
% the bound and the modal value), and the measured error of the tip
% history (largest difference over the run, relative to the peak), then
% the pair newmark_accurate_step chooses.
%
%   octave-cli bench/accuracy_newmark.m [build dir]     (default: build/)
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'));

% --- the chain and its reference -------------------------------------------------
n = 200; k = 1e6; T = 2;
e = ones(n, 1);
K = k * spdiags([-e 2*e -e], -1:1, n, n); K(n, n) = k;
m = ones(n, 1);
rayleigh = [0.2 1e-5];                     % 1.6 % of critical in mode 1
C = rayleigh(1) * spdiags(m, 0, n, n) + rayleigh(2) * K;
F = zeros(n, 1); F(n) = 1e3;
pulse = 0.1;
load_factor = @(t) sin(pi * t / pulse).^2 .* (t < pulse);
Kf = full(K); Cf = full(C);
rhs = @(y, t) [y(n+1:end); (F * load_factor(t) - Kf * y(1:n) - Cf * y(n+1:end)) ./ m];
lsode_options('relative tolerance', 1e-11);
lsode_options('absolute tolerance', 1e-13);
lsode_options('maximum step size', pulse / 50);
tref = linspace(0, T, 401);
Y = lsode(rhs, zeros(2 * n, 1), tref);
tip_ref = Y(:, n).';
peak = max(abs(tip_ref));
w1 = sqrt(eigs(K, spdiags(m, 0, n, n), 1, 'sm'));
printf('chain of %d masses, f1 = %.3f Hz, %g s simulated (%.1f periods), tip peak %.4g\n\n', ...
       n, w1 / 2 / pi, T, T * w1 / 2 / pi, peak);

% Tip history at the reference's times (a step grid that contains them).
function tip = native_tip(m, K, C, F, rayleigh, load_factor, beta, h, T, tref)
  n = rows(K);
  every = round((tref(2) - tref(1)) / h);
  h = (tref(2) - tref(1)) / every;
  t = (0:every * (numel(tref) - 1)) * h;
  st = newmark_stepper(m, C, K, h, beta, 0.5, F, newmark_time_table(t, load_factor));
  handles = {st, sparse_term(2, spdiags(m, 0, n, n)), sparse_term(1, K)};
  u = zeros(n, 1); v = zeros(n, 1); a = zeros(n, 1);
  store = newmark_storage(n, t(1 + every:every:end));   % on the step grid
  spardyn('chandlediagnewmark', handles, struct(), u, v, a, rayleigh, ...
          newmark_step_output(n), store);
  tip = [0, store.def(n, :)];
end

printf('%8s %9s %10s %12s %12s %12s\n', 'beta', 'h/hmax', 'steps/s', 'est. bound', 'est. modes', 'tip error');
rows_out = {};
for beta = [0.25 1/12 0.02 0.005 0.001]
  hmax = newmark_stable_step(m, K, beta, 0.5, C);
  for frac = [0.9 0.5 0.25 0.1]
    % A step that divides the reference's interval (at most the fraction).
    dt = tref(2) - tref(1);
    h = dt / ceil(dt / (frac * hmax));
    tip = native_tip(m, K, C, F, rayleigh, load_factor, beta, h, T, tref);
    eb = newmark_frequency_error(m, K, beta, 0.5, h, C);
    em = newmark_frequency_error(m, K, beta, 0.5, h, C, 'modes', 1);
    er = max(abs(tip - tip_ref)) / peak;
    printf('%8.4g %9.3f %10.0f %11.2f%% %11.2f%% %12.2e\n', beta, h / hmax, 1 / h, ...
           100 * eb, 100 * em, er);
  end
end
[h, beta, info] = newmark_accurate_step(m, K, C);
tip = native_tip(m, K, C, F, rayleigh, load_factor, beta, h, T, tref);
printf('\nnewmark_accurate_step: beta = %.4g, h = %.4g s (%.3f of its stable step, limit: %s), %.0f steps/s\n', ...
       beta, h, h / info.hmax, info.limit, 1 / h);
printf('  estimated error %.2f %% (modes: %.2f %%), tip error %.2e of the peak\n', ...
       100 * info.err, 100 * newmark_frequency_error(m, K, beta, 0.5, h, C, 'modes', 1), ...
       max(abs(tip - tip_ref)) / peak);
