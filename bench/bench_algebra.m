% Speed of the sparse algebra commands against Octave's own products, on a
% 3-D solid-like stiffness of about 10^5 degrees of freedom (81 entries per
% row, as trilinear hexahedra give), in the same process and on the same data.
%
%   octave-cli bench/bench_algebra.m [build dir]      (default: build/)
%
% Prints, per case, the best time of each side, the ratio Octave / spardyn
% (above 1: spardyn is faster), the rate at which the sparse matrix is
% streamed and the agreement of the results.
1;

% Octave's peer of "c<-a'*b", in a named function so that the transposed
% product runs as Octave's fused operator (peer_projection.m is that of "abc").
function r = octave_atb(a, B)
  r = a.' * B;
end

function report(name, tOct, tSpd, bytes, err)
  printf('%-40s octave %8.1f ms  spardyn %8.1f ms  ratio %5.2f  %5.2f GB/s  rel.err %.1e\n', ...
         name, 1e3 * tOct, 1e3 * tSpd, tOct / tSpd, bytes / tSpd / 1e9, err);
end

function e = rel_err(x, y)
  e = norm(x(:) - y(:), inf) / max(norm(y(:), inf), realmin);
end

here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
args = argv();
build_dir = fullfile(root, 'build');
if numel(args) >= 1, build_dir = args{1}; end
addpath(build_dir, fullfile(root, 'm'), here);

reps = 5;
K = solid_stiffness(32);
n = rows(K);
s = sparse_description(K);
matrix_bytes = 12 * nnz(K);       % values and row indices, streamed once
printf('K: %d DOF, %d entries (%.1f per row); %d BLAS threads available\n', ...
       n, nnz(K), nnz(K) / n, nproc());

% --- c<-a'*b with 50 columns -----------------------------------------------------
rand('seed', 1);
a = rand(n, 50) - 0.5;
ref = octave_atb(a, K);
c = spardyn('c<-a''*b', a, s);
tOct = best_time(@() octave_atb(a, K), reps);
tSpd = best_time(@() spardyn('c<-a''*b', a, s), reps);
report('c<-a''*b, 50 columns', tOct, tSpd, matrix_bytes, rel_err(c, ref));
target = zeros(50, n);
spardyn('c<-a''*b', a, s, target);
tTarget = best_time(@() spardyn('c<-a''*b', a, s, target), reps);
report('c<-a''*b, 50 columns, into a target', tOct, tTarget, matrix_bytes, rel_err(target, ref));

% --- abc with 50 real and 50 complex modes -----------------------------------------
opt = int32([1 0 0]);
TR = rand(n, 50) - 0.5;
TC = complex(rand(n, 50) - 0.5, rand(n, 50) - 0.5);
cases = {'abc, 50 real modes', TR, TR; ...
         'abc, 50 complex modes', TC, TC; ...
         'abc, 50 real x 50 complex modes', TR, TC};
for k = 1:rows(cases)
  [name, TA, TB] = cases{k, :};
  ref = peer_projection(TA, K, TB);
  r = spardyn('abc', TA, s, TB, opt);
  tOct = best_time(@() peer_projection(TA, K, TB), reps);
  tSpd = best_time(@() spardyn('abc', TA, s, TB, opt), reps);
  report(name, tOct, tSpd, matrix_bytes, rel_err(r, ref));
end
