function test_nl_stepper()
% Non-linear terms inside "chandlediagnewmark": a friction joint against an
% independent ODE solution and the energy it dissipates, a Maxwell mount
% against its complex stiffness, forces exported to FNL, the end-of-step
% copy and the state check.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  dahl_joint_converges_to_the_ode_solution();
  dahl_loop_dissipates_the_work_of_the_load();
  maxwell_mount_steady_state();
  end_of_step_and_state_checks();
end

% One mass on a spring, tied to ground by a Dahl joint; DOF 2 carries the
% friction state (unit mass, no stiffness, no load: the stepper leaves it
% to the term).
function sim = dahl_run(h, T, save_every, model_fnl)
  m = 1; k = (2 * pi * 5)^2; Fs = 0.4; sigma = 5000;
  t = 0:h:T;
  term = nl_dahl(2, [1 0], 2, Fs, sigma, 'fnl', 2);
  sim = newmark_setup(spdiags([m; 1], 0, 2, 2), sparse(1, 1, k, 2, 2), [1; 0], t, ...
                      @(t) sin(2 * pi * 3 * t), 'terms', {term}, ...
                      'model', struct('FNL', zeros(model_fnl, 1)), ...
                      'save', t(1:save_every:end), 'quiet', true);
  sim.handles{1}.iopt = int32(0);  % the load factor into FNL(1)
  sim.out = newmark_step_output(2, 2, 3);
  sim.store = newmark_storage(2, t(1:save_every:end), 3, t(1:save_every:end));
  spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, sim.a, ...
          sim.rayleigh, sim.out, sim.store);
end

function dydt = dahl_ode(y, t)
  m = 1; k = (2 * pi * 5)^2; Fs = 0.4; sigma = 5000;
  dydt = [y(2); (sin(2 * pi * 3 * t) - k * y(1) - y(3)) / m; ...
          sigma * (1 - sign(y(2)) * y(3) / Fs) * y(2)];
end

function dahl_joint_converges_to_the_ode_solution()
  lsode_options('relative tolerance', 1e-10);
  lsode_options('absolute tolerance', 1e-12);
  hs = [1e-3 5e-4 2.5e-4];
  err = zeros(size(hs));
  for i = 1:numel(hs)
    every = round(0.01 / hs(i));
    sim = dahl_run(hs(i), 1, every, 3);
    ts = sim.store.data;
    Y = lsode(@dahl_ode, [0; 0; 0], ts);
    err(i) = max(abs(sim.store.def(1, 2:end)' - Y(2:end, 1))) / max(abs(Y(:, 1)));
    if i == 1
      expect_true(max(abs(Y(:, 3))) > 0.399, 'the joint slides (reaches Fs)');
    end
  end
  order = log2(err(1:end - 1) ./ err(2:end));
  expect_true(all(order > 0.9 & order < 1.1), ...
              sprintf('first order in h (observed %s)', mat2str(order, 3)));
  expect_true(err(end) < 3e-3, sprintf('within 0.3%% at h = 2.5e-4 (%.2g)', err(end)));
end

% Over a steady period the mass and spring give back what they took, so the
% work of the load equals the energy the joint dissipates, the area of its
% hysteresis loop.  FNL carries the friction force at every step.
function dahl_loop_dissipates_the_work_of_the_load()
  h = 2.5e-4; T = 4;
  sim = dahl_run(h, T, 1, 3);
  t = sim.store.data';
  x = sim.store.def(1, :); z = sim.store.def(2, :);
  expect_equal(sim.store.FNL.def(2, :), z, 'FNL(2) is the friction state in u at every step');
  expect_equal(sim.store.FNL.def(1, :), sin(2 * pi * 3 * t), ...
               'FNL(1) keeps the load factor');   % the stepper's iopt(1) = 0
  last = t >= T - 1 / 3 - h / 2;                   % the last load period
  work = trapz(x(last), sin(2 * pi * 3 * t(last)));
  loop = trapz(x(last), z(last));
  expect_true(work > 0, 'the load puts energy in');
  expect_near(loop / work, 1, 2e-3, 'loop area = work of the load over a period');
  first = find(last, 1);
  expect_near([x(first) z(first)] ./ [max(abs(x)) 0.4], [x(end) z(end)] ./ ...
              [max(abs(x)) 0.4], 1e-2, 'the loop closes');
end

% A mass on a mount k0 + Maxwell branch (k1, c1) under F0*sin(w t): the
% steady amplitude is F0 / |k0 + k1*i*w*tau/(1 + i*w*tau) - m*w^2|.
function maxwell_mount_steady_state()
  m = 1; k0 = 200; k1 = 400; c1 = 8; w = 2 * pi * 2; h = 1e-4; T = 6;
  t = 0:h:T;
  term = nl_maxwell(1, [1 0], k0, k1, c1, h);
  sim = newmark_setup(1, sparse(1, 1), 1, t, @(t) sin(w * t), 'terms', {term}, ...
                      'save', t, 'quiet', true);
  spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, sim.a, ...
          sim.rayleigh, sim.out, sim.store);
  tau = c1 / k1;
  Kw = k0 + k1 * 1i * w * tau / (1 + 1i * w * tau);
  X = 1 / (Kw - m * w^2);  % x = Im(X e^{iwt})
  last = t > T - 2 * (2 * pi / w) + h / 2;  % two full periods
  x = sim.store.def(1, last); tl = t(last);
  Xfit = 1i * 2 * sum(x .* exp(-1i * w * tl)) / numel(tl);
  expect_near(abs(Xfit) / abs(X), 1, 2e-3, 'steady amplitude');
  expect_near(angle(Xfit), angle(X), 2e-3, 'steady phase');
end

function end_of_step_and_state_checks()
  % A memoryless term with three slices: after the run slice 1 holds what
  % slice 3 held.
  t = struct('type', 1003, 'b', sparse_description(sparse(1, 1, 1)), ...
             'c', sparse_description(sparse(1, 1, 1), true), ...
             'unl', reshape([0 5 7], 1, 1, 3), 'snl', 0, ...
             'opt', [nl_law_code('Power'); 1; 1]);
  sim = newmark_setup(1, sparse(1, 1, 100), 1, 0:1e-3:0.01, @(t) 0 * t + 1, ...
                      'terms', {t}, 'quiet', true);
  spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, sim.a, ...
          sim.rayleigh, sim.out, sim.store);
  expect_equal(sim.handles{end}.unl(:)', [7 5 7], 'EndStep: slice 3 into slice 1');

  % States written beyond the stepped vector.
  bad = nl_dahl(2, [1 0], 2, 0.4, 5000);
  bad.iopt(5) = 2;  bad.unl = zeros(4, 1, 2); bad.vnl = bad.unl; bad.snl = zeros(4, 1);
  bad.b = sparse_description(sparse(4, 2)); bad.c = sparse_description(sparse(4, 2), true);
  sim = newmark_setup(spdiags([1; 1], 0, 2, 2), sparse(1, 1, 100, 2, 2), [1; 0], ...
                      0:1e-3:0.01, @(t) 0 * t, 'terms', {bad}, 'quiet', true);
  u = sim.u + 0;
  expect_error(@() spardyn('chandlediagnewmark', sim.handles, sim.model, u, sim.v, ...
                           sim.a, sim.rayleigh, sim.out, sim.store), ...
               'VRK:spardyn:Invalid', 'iu+Nistate too large', 'states beyond nDef');
  expect_equal(u, sim.u, 'no step was taken');
end
