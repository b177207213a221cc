function test_newmark_proofs()
% The native Newmark loop against references nobody here wrote: the
% closed-form response of a damped oscillator, Octave's lsode on a chain with
% the order of convergence, the energy the method keeps, and a plain Octave
% transcription of the step.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  damped_oscillator_closed_form();
  chain_against_lsode_second_order();
  undamped_energy_balance();
  loaded_energy_balance();
  step_by_step_transcription();
end

% --- shared set-up -------------------------------------------------------------

function [K, m] = chain(n, k, masses)
% n masses in a row, the first tied to the ground: springs k.
  e = ones(n, 1);
  K = k * spdiags([-e 2*e -e], -1:1, n, n);
  K(n, n) = k;
  m = masses(:);
end

% Runs the whole time table in one call and returns u at every time point
% after the first (snapshots), and the final v, a.
function [U, v, a] = run_native(m, C, K, F, h, beta, gamma, t, factors, rayleigh, u0, v0, a0)
  N = rows(K);
  st = newmark_stepper(m, C + rayleigh(1) * spdiags(m, 0, N, N) + rayleigh(2) * K, ...
                       K, h, beta, gamma, F, newmark_time_table(t, factors));
  handles = {st, sparse_term(2, spdiags(m, 0, N, N)), sparse_term(1, K)};
  if nnz(C), handles{end + 1} = sparse_term(3, C); end
  u = u0 + 0; v = v0 + 0; a = a0 + 0;
  store = newmark_storage(N, t(2:end));
  spardyn('chandlediagnewmark', handles, struct(), u, v, a, rayleigh, ...
          newmark_step_output(N), store);
  U = store.def;
end

% --- (a) ---------------------------------------------------------------------

function damped_oscillator_closed_form()
% m u'' + c u' + k u = F0 from rest: u = F0/k (1 - e^(-z w t) (cos wd t +
% z/sqrt(1-z^2) sin wd t)).  Newmark's average acceleration lags in phase
% by w t (w h)^2 / 12; the error must stay within that, and fall by 4 when
% h halves.
  mass = 2; k = 800; w = sqrt(k / mass); z = 0.05; c = 2 * z * mass * w; F0 = 10;
  wd = w * sqrt(1 - z^2);
  exact = @(t) F0 / k * (1 - exp(-z * w * t) .* (cos(wd * t) + z / sqrt(1 - z^2) * sin(wd * t)));
  T = 3 * 2 * pi / w;
  err = zeros(1, 2);
  for r = 1:2
    h = 0.1 / w / r;
    t = 0:h:T;
    U = run_native(mass, sparse(c), sparse(k), F0, h, 0.25, 0.5, t, ones(1, numel(t)), [0 0], 0, 0, F0 / mass);
    err(r) = max(abs(U - exact(t(2:end))));
    bound = 1.25 * F0 / k * w * T * (w * h)^2 / 12;
    expect_true(err(r) < bound, sprintf('oscillator error %.3g within Newmark''s phase error %.3g (h = %.3g)', err(r), bound, h));
  end
  expect_near(err(1) / err(2), 4, 0.4, 'oscillator error falls by 4 when h halves');
end

% --- (b) ---------------------------------------------------------------------

function chain_against_lsode_second_order()
% An eight-mass chain with mass-proportional damping and a smooth end load,
% against lsode at tight tolerance; the error at h, h/2, h/4 must fall at
% order 2.  (The correction sees only the diagonal of the damping: with a
% damping that couples rows, such as rayK*K, it is first-order accurate.)
  n = 8; k = 1e4;
  [K, m] = chain(n, k, linspace(1, 2, n));
  rayleigh = [2 0];
  C = rayleigh(1) * spdiags(m, 0, n, n) + rayleigh(2) * K;
  F = zeros(n, 1); F(n) = 100;
  T = 0.05; f = @(t) sin(pi * t / T).^2;
  Tend = 0.4;
  Kf = full(K); Cf = full(C); Mi = diag(1 ./ m);
  rhs = @(y, t) [y(n+1:end); Mi * (F * f(t) - Kf * y(1:n) - Cf * y(n+1:end))];
  old_rel = lsode_options('relative tolerance');
  old_abs = lsode_options('absolute tolerance');
  lsode_options('relative tolerance', 1e-12);
  lsode_options('absolute tolerance', 1e-14);
  h0 = 2e-3;
  tref = 0:h0:Tend;
  Y = lsode(rhs, zeros(2 * n, 1), tref);
  lsode_options('relative tolerance', old_rel);
  lsode_options('absolute tolerance', old_abs);
  Uref = Y(2:end, 1:n).';

  err = zeros(1, 3);
  for r = 1:3
    h = h0 / 2^(r - 1);
    t = 0:h:Tend;
    U = run_native(m, sparse(n, n), K, F, h, 0.25, 0.5, t, f(t), rayleigh, zeros(n, 1), zeros(n, 1), zeros(n, 1));
    U = U(:, 2^(r - 1):2^(r - 1):end);        % the reference's time points
    err(r) = max(abs(U(:) - Uref(:))) / max(abs(Uref(:)));
  end
  order = log2(err(1:2) ./ err(2:3));
  expect_true(err(3) < 5e-3, sprintf('chain within %.2g of lsode at the finest step', err(3)));
  expect_true(all(abs(order - 2) < 0.15), sprintf('observed order %.3f, %.3f (2 expected)', order));
end

% --- (c) ---------------------------------------------------------------------

% The energy the stepper keeps: 1/2 v'Meff v + 1/2 u'Ku, with
% Meff = M - beta h^2 (K - diag K): the diagonal correction makes the step
% Newmark's method with that effective mass.
function E = kept_energy(m, K, beta, h, u, v)
  Meff = spdiags(m, 0, rows(K), rows(K)) - beta * h^2 * (K - spdiags(diag(K), 0, rows(K), rows(K)));
  E = 0.5 * v.' * Meff * v + 0.5 * u.' * K * u;
end

function undamped_energy_balance()
  n = 30; k = 1e4;
  [K, m] = chain(n, k, 1 + 0.5 * sin(1:n));
  beta = 0.25; h = 0.4 * newmark_stable_step(m, K, beta, 0.5);
  st = newmark_stepper(m, [], K, h, beta, 0.5, zeros(n, 1));
  handles = {st, sparse_term(2, spdiags(m, 0, n, n)), sparse_term(1, K)};
  u = zeros(n, 1); v = cos(3 * (1:n)') + 0; a = zeros(n, 1);
  E0 = kept_energy(m, K, beta, h, u, v);
  drift = 0; Ephys = [];
  for chunk = 1:50
    handles{1}.tft = [h * (10 * (chunk - 1) + (0:10)); zeros(1, 11)];
    spardyn('chandlediagnewmark', handles, struct(), u, v, a, [0 0]);
    drift = max(drift, abs(kept_energy(m, K, beta, h, u, v) - E0) / E0);
    Ephys(end + 1) = 0.5 * v.' * (m .* v) + 0.5 * u.' * K * u;
  end
  expect_true(drift < 1e-12, sprintf('undamped run keeps its energy to %.1e over 500 steps', drift));
  % The physical energy differs from it by at most beta h^2 v'(K-D)v / 2.
  expect_true(max(abs(Ephys - E0)) / E0 < beta * h^2 * max(full(sum(abs(K), 2)) ./ m), ...
              'physical energy stays within the effective-mass band');
end

function loaded_energy_balance()
% From rest under a load pulse: the kept energy equals the work of the
% loads, sum of (u1 - u0)'(F0 + F1)/2 over the steps.
  n = 20; k = 5e3;
  [K, m] = chain(n, k, ones(n, 1));
  beta = 0.25; h = 0.5 * newmark_stable_step(m, K, beta, 0.5);
  F = zeros(n, 1); F(n) = 3; F(5) = -1;
  t = 0:h:300 * h;
  f = sin(pi * t / (60 * h)).^2 .* (t < 60 * h);
  st = newmark_stepper(m, [], K, h, beta, 0.5, F, newmark_time_table(t, f));
  tft = st.tft;
  handles = {st, sparse_term(2, spdiags(m, 0, n, n)), sparse_term(1, K)};
  u = zeros(n, 1); v = zeros(n, 1); a = zeros(n, 1);
  W = 0; worst = 0;
  for j = 1:numel(t) - 1
    u0 = u + 0;
    handles{1}.tft = tft(:, j:j + 1);
    spardyn('chandlediagnewmark', handles, struct(), u, v, a, [0 0]);
    W += (u - u0).' * F * (f(j) + f(j + 1)) / 2;
    worst = max(worst, abs(kept_energy(m, K, beta, h, u, v) - W));
  end
  expect_true(W > 0 && worst < 1e-12 * W, sprintf('kept energy equals the work of the loads to %.1e', worst / W));
end

% --- (d) ---------------------------------------------------------------------

function step_by_step_transcription()
% A run with two load shapes, a damping term, Rayleigh damping, load-factor
% export and snapshots, against the step written out in Octave.
  N = 7; Nb = 2;
  K = sprandsym(N, 0.5) + 4 * speye(N);
  m = 1 + rand(N, 1);
  C = 0.01 * (K + K.') / 2;
  rayleigh = [0.3 2e-4];
  h = 1e-3; NT = 41;
  t = (0:NT - 1) * h;
  shapes = rand(N, Nb);
  factors = [sin(50 * t); cos(30 * t)];
  st = newmark_stepper(m, C + rayleigh(1) * diag(m) + rayleigh(2) * K, K, h, 0.3, 0.6, shapes, ...
                       newmark_time_table(t, factors));
  st.iopt = int32(2);
  r = st.r; tft = st.tft; d = st.data;
  save_t = [t(1); t(5); 2.5e-3; t(12); t(40); t(41)];

  u0 = rand(N, 1); v0 = rand(N, 1); a0 = rand(N, 1);
  u = u0 + 0; v = v0 + 0; a = a0 + 0;
  model = struct('FNL', zeros(5, 1));
  out = newmark_step_output(N);
  store = newmark_storage(N, save_t);
  spardyn('chandlediagnewmark', {st, sparse_term(2, diag(m)), sparse_term(1, K), sparse_term(3, C)}, model, ...
          u, v, a, rayleigh, out, store);

  x = transcribe(r, tft, d, Nb, spdiags(m, 0, N, N), C, K, rayleigh, save_t, u0, v0, a0);
  expect_near(u, x.u, 1e-12 * norm(x.u), 'u after the run');
  expect_near(v, x.v, 1e-12 * norm(x.v), 'v after the run');
  expect_near(a, x.a, 1e-12 * norm(x.a), 'a after the run');
  expect_near(out.uva.uva, x.uva, 1e-12 * norm(x.uva), 'start state and residual of the last step');
  expect_near(store.def, x.def, 1e-12 * norm(x.def), 'snapshots at the matching save times');
  expect_equal(store.def(:, [1 3]), zeros(N, 2), 'save times no step reaches keep their column');
  expect_equal(model.FNL, x.fnl, 'load factors of the last step exported at iopt');
  expect_equal(st.data(6), t(end), 'd5 holds the last time');
end

% The step as the stepper documents it, one statement per operation.
function x = transcribe(r, tft, d, Nb, M, C, K, rayleigh, save_t, u, v, a)
  N = rows(r);
  def = zeros(N, numel(save_t));
  fnl = zeros(5, 1);
  for j = 1:columns(tft) - 1
    t = tft(1, j + 1);
    f = tft(2:end, j);
    uva = [u; v; a];
    fnl(3:4) = f;
    u = (d(2) * a + d(1) * v) + u;
    v = d(3) * a + v;
    a = zeros(N, 1);
    w = r(:, 2:Nb + 1) * f;
    w = w + M * (a + rayleigh(1) * v) + K * (u + rayleigh(2) * v) + C * v;
    delta = w .* r(:, Nb + 2);
    u = u - delta;
    v = v - d(4) * delta;
    a = a - d(5) * delta;
    hit = find(save_t == t);
    def(:, hit) = repmat(u, 1, numel(hit));
  end
  x = struct('u', u, 'v', v, 'a', a, 'uva', [uva; w], 'def', def, 'fnl', fnl);
end
