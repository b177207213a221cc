% "residual" in matrix mode and in handle mode against Octave's own fused
% expression, on a 7-point-stencil model of 10^6 degrees of freedom (sparse
% M, C and K, Rayleigh damping on), in the same process, results checked
% equal.
%
%   octave-cli bench/bench_residual.m          (after building into build/)
%
% Bandwidth: an evaluation must read each matrix once (values, row indices,
% column pointers), u, v and a once, and read and write r; its time at the
% two-thread triad bandwidth is the limit it is measured against.
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'), here);

m = 100;
K = stencil7(m); n = rows(K);
M = 0.1 * abs(K);                 % same pattern, positive entries
C = 0.02 * K + 0.05 * M;
ray = [0.3 1e-3];
rand('seed', 1);
u = rand(n, 1); v = rand(n, 1); a = rand(n, 1);
mats = {sparse_description(M), sparse_description(C), sparse_description(K)};
reps = 20;

% --- results agree ----------------------------------------------------------
expected = peer_residual(M, C, K, u, v, a, ray(1), ray(2));
r = zeros(n, 1);
spardyn('residual', r, mats, u, v, a, ray);
err_matrix = norm(r - expected) / norm(expected);
spardyn('chandleclear');
h = [chandle(spardyn('chandleset', 2, mats{1})) ...
     chandle(spardyn('chandleset', 3, mats{2})) ...
     chandle(spardyn('chandleset', 1, mats{3}))];
r = zeros(n, 1);
spardyn('residual', r, h, u, v, a, ray);
err_handle = norm(r - expected) / norm(expected);
if max(err_matrix, err_handle) > 1e-14
  error('residual disagrees with Octave: %g (matrix), %g (handles)', err_matrix, err_handle);
end

% --- timings, best of reps, interleaved -------------------------------------
t_peer = inf; t_matrix = inf; t_handle = inf;
for k = 1:reps
  tic; z = peer_residual(M, C, K, u, v, a, ray(1), ray(2)); t_peer = min(t_peer, toc);
  r(:) = 0;
  tic; spardyn('residual', r, mats, u, v, a, ray); t_matrix = min(t_matrix, toc);
  r(:) = 0;
  tic; spardyn('residual', r, h, u, v, a, ray); t_handle = min(t_handle, toc);
end
spardyn('chandleclear');

% The arithmetic alone: the same evaluation on a model that stays in the
% caches (8000 DOF, below one task of the sweep, so on one thread), per
% column, scaled to 10^6 columns on two threads.
Ks = stencil7(20); ns = rows(Ks); Ms = 0.1 * abs(Ks); Cs = 0.02 * Ks + 0.05 * Ms;
small = {sparse_description(Ms), sparse_description(Cs), sparse_description(Ks)};
us = rand(ns, 1); vs = rand(ns, 1); as = rand(ns, 1); rs = zeros(ns, 1);
hs = [chandle(spardyn('chandleset', 2, small{1})) ...
      chandle(spardyn('chandleset', 3, small{2})) ...
      chandle(spardyn('chandleset', 1, small{3}))];
z = zeros(0, 1);
t_small = inf; t_call = inf; calls = 200;
for k = 1:5
  tic; for c = 1:calls, spardyn('residual', rs, hs, us, vs, as, ray); end
  t_small = min(t_small, toc / calls);
  tic; for c = 1:calls, spardyn('residual', rs, hs, z, z, z, ray); end   % the call alone
  t_call = min(t_call, toc / calls);
end
t_small = t_small - t_call;
spardyn('chandleclear');
ns_per_column = 1e9 * t_small / ns;
t_compute = ns_per_column * n / 2 / 1e9;

tool = read_kernel_bench(build_dir, 'stencil', num2str(m));
triad = read_kernel_bench(build_dir, 'triad');
nz = nnz(K);  % the same for M and C
bytes = 3 * (12 * nz + 4 * (n + 1)) + 3 * 8 * n + 16 * n;
t_limit = bytes / (triad.triad_GBs * 1e9);

printf('7-point stencil model: %d DOF, 3 x %d non-zeros, %.0f MB moved per evaluation\n', ...
       n, nz, bytes / 1e6);
printf('Octave M.''*a + C.''*v + K.''*u + rayM*(M.''*v) + rayK*(K.''*v) : %7.2f ms\n', 1e3 * t_peer);
printf('spardyn residual, matrix mode (checks included) : %7.2f ms   %.2fx faster\n', ...
       1e3 * t_matrix, t_peer / t_matrix);
printf('spardyn residual, handle mode (3 chandles)      : %7.2f ms   %.2fx faster\n', ...
       1e3 * t_handle, t_peer / t_handle);
printf('  view checks of the three matrices             : %7.2f ms (3 x %.2f ms, host-free tool)\n', ...
       3 * tool.check_ms, tool.check_ms);
printf('  matrix mode without its checks (estimate)     : %7.2f ms\n', 1e3 * t_matrix - 3 * tool.check_ms);
printf('bandwidth limit of an evaluation at the triad\x27s %.2f GB/s : %.2f ms\n', ...
       triad.triad_GBs, 1e3 * t_limit);
printf('  matrix mode reaches %3.0f %% of it (%3.0f %% without its checks)\n', ...
       100 * t_limit / t_matrix, 100 * t_limit / (t_matrix - 3e-3 * tool.check_ms));
printf('  handle mode reaches %3.0f %% of it (checks made once per registered term)\n', ...
       100 * t_limit / t_handle);
printf('arithmetic alone (model in cache, one thread): %.1f ns per column, so %.2f ms for %d columns on 2 threads\n', ...
       ns_per_column, 1e3 * t_compute, n);
printf('relative difference to Octave: %.1e (matrix), %.1e (handles)\n', err_matrix, err_handle);
