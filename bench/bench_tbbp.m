% "tbbp" against Octave's own product on a 7-point-stencil stiffness of
% 10^6 degrees of freedom, in the same process, results checked equal.
%
%   octave-cli bench/bench_tbbp.m          (after building into build/)
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
addpath(build_dir, fullfile(root, 'm'), here);

m = 100;
K = stencil7(m); n = rows(K);
s = sparse_description(K);
x = rand(n, 1);
reps = 30;

expected = peer_transposed_product(K, x);
y = zeros(n, 1);
spardyn('tbbp', s, x, y);
err = norm(y - expected) / norm(expected);
if err > 1e-14, error('tbbp disagrees with Octave: %g', err); end

t_peer = inf; t_mod = inf;
for r = 1:reps
  tic; z = peer_transposed_product(K, x); t_peer = min(t_peer, toc);
  y(:) = 0;
  tic; spardyn('tbbp', s, x, y); t_mod = min(t_mod, toc);
end

tool = read_kernel_bench(build_dir, 'stencil', num2str(m));
triad = read_kernel_bench(build_dir, 'triad');
bytes = 12 * nnz(K) + 4 * (n + 1) + 8 * n + 16 * n;
gbs = bytes / t_mod / 1e9;

printf('7-point stencil: %d DOF, %d non-zeros, %.1f MB moved per product\n', n, nnz(K), bytes / 1e6);
printf('Octave K.''*x (named function) : %7.3f ms\n', 1e3 * t_peer);
printf('spardyn tbbp (with checks)     : %7.3f ms   %.2fx faster\n', 1e3 * t_mod, t_peer / t_mod);
printf('  of which view checks         : %7.3f ms (host-free tool)\n', tool.check_ms);
printf('  product alone                : %7.3f ms (host-free tool, %d threads)\n', tool.product_ms, tool.threads);
printf('bandwidth reached by tbbp      : %6.2f GB/s = %.0f %% of the 2-thread triad (%.2f GB/s)\n', ...
       gbs, 100 * gbs / triad.triad_GBs, triad.triad_GBs);
printf('product alone                  : %6.2f GB/s = %.0f %% of the triad\n', ...
       tool.product_GBs, 100 * tool.product_GBs / triad.triad_GBs);
printf('relative difference to Octave  : %.1e\n', err);
