function r = package_smoke()
% PACKAGE_SMOKE  A residual and ten Newmark steps of a small model, through
% the helpers: what the package round trip compares, bit for bit, between
% the installed package and the build tree.
%
% A chain of n masses on springs, held at one end by a Dahl friction joint
% whose state is the last DOF.  The residual goes through registered handles
% and a chandle vector (the host class, its remi method); the steps through
% newmark_setup and newmark_run (cell handles, a non-linear term built by
% nl_dahl with the private helpers).
  r.version = spardyn();
  n = 12;
  N = n + 1;                                    % the joint's state
  e = ones(n, 1);
  K = 1e4 * spdiags([-e 2 * e -e], -1:1, n, n);
  m = linspace(1, 2, n)';

  ids = [spardyn('chandleset', 2, sparse_description(spdiags(m, 0, n, n))), ...
         spardyn('chandleset', 1, sparse_description(K))];
  u = sin((1:n)') / 100; v = cos((1:n)') / 10; a = (1:n)' - n / 2;
  res = zeros(n, 1);
  spardyn('residual', res, chandle(ids), u, v, a, [0.5 1e-3]);
  spardyn('chandleclear');
  r.residual = res;

  joint = nl_dahl(N, [n 0], N, 5, 1e4);
  F = [zeros(n - 1, 1); 100; 0];
  h = 1e-3;
  t = (0:10) * h;
  sim = newmark_setup([m; 1], blkdiag(K, sparse(1, 1)), F, t, ones(1, numel(t)), ...
                      'rayleigh', [0.5 1e-4], 'terms', {joint}, 'quiet', true);
  sim = newmark_run(sim, 'bar', false);
  r.steps = sim.progress.steps;
  r.u = sim.u; r.v = sim.v; r.a = sim.a;
end
