function lib = hostile_library()
% HOSTILE_LIBRARY  The valid values the hostile calls start from: a model of
% six DOFs (DOFs 5 and 6 hold the states of the stateful terms), its sparse
% descriptions, one term of every law, stepping runs with and without
% terms.  Every call takes fresh copies (hostile_fresh): the module writes
% into its arguments in place, past Octave's copy-on-write.
  n = 6;
  e = ones(n, 1);
  Ksp = spdiags([-e 2 * e -e], -1:1, n, n) + speye(n);
  lib.n = n;
  lib.Ksp = Ksp;
  lib.K = sparse_description(Ksp);
  lib.Kt = sparse_description(Ksp, true);
  lib.M = sparse_description(speye(n));
  lib.C = sparse_description(0.1 * Ksp);
  lib.modal = struct('def', [eye(n, 2)], 'data', [0.1; 0.2; 0; 0]);
  contact = [-1 0 0; 0 0 0; 1e-3 -1e3 1e5];
  lib.terms = {nl_power(n, [2 0], 10, 3), ...
               nl_expon(n, [3 4], 2, 1.5), ...
               nl_table(n, [1 0], [-1 0 1], [-10 0 10]), ...
               nl_dahl(n, [1 0], n, 0.4, 5000), ...
               nl_slider(n, [2 0], n, 100, 0.5), ...
               nl_contact(n, [1 0], [2 0], [3 0], n - 1, contact, 0.3), ...
               nl_maxwell(n, [4 0], 10, [3 4], [0.1 0.2], 1e-3)};
  t = 0:1e-3:5e-3;
  F = [1; zeros(n - 1, 1)];
  lib.sims = {};
  for term = {{}, lib.terms(4), lib.terms(7), lib.terms([1 5])}
    lib.sims{end + 1} = newmark_setup(speye(n), Ksp, F, t, @(x) sin(2 * pi * x), ...
                                      'terms', term{1}, 'save', t(3), ...
                                      'model', struct('FNL', zeros(4, 1)), 'quiet', true);
  end
  lib.stepper = lib.sims{1}.handles{1};
  lib.fixture = exist('buffer_fixture') == 3;
end
