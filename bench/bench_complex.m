% "abc" on real and complex bases against Octave's TA.'*K*TB, and the time
% Octave spends handing the module a complex input, for one or more builds
% of the module in the same process, on the same data.
%
%   octave-cli bench/bench_complex.m [--stencil] [build dir …]
%
% Default: build/ (the interleaved array interface) and build/classic/ (the
% classic one, built beside it for the tests).  Any other build directory
% (an older build, say) can be named instead.  The stiffness is the 3-D
% solid of bench_algebra.m (98,304 DOF, 7.5·10^6 entries), or with
% --stencil the 7-point stencil of a 46^3 grid (97,336 DOF, 6.7·10^5
% entries), where the dense projection is most of the work; 50 modes.
% Prints, per build and case, the best of several runs of each side (the
% two sides take turns) and the ratio Octave / spardyn (above 1: spardyn is
% faster); results are checked against Octave's before timing.
1;

function e = rel_err(x, y)
  e = norm(x(:) - y(:), inf) / max(norm(y(:), inf), realmin);
end

% Loads the module of one build directory in place of the one before.
function use_build(dir, previous)
  clear spardyn;
  if ~isempty(previous), rmpath(previous); end
  addpath(dir);
  if ~strcmp(fileparts(which('spardyn')), dir)
    error('bench_complex: no spardyn module in %s', dir);
  end
end

here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
addpath(fullfile(root, 'm'), here);
builds = argv();
stencil = ~isempty(builds) && strcmp(builds{1}, '--stencil');
if stencil, builds(1) = []; end
if isempty(builds)
  builds = {fullfile(root, 'build')};
  if exist(fullfile(root, 'build', 'classic'), 'dir')
    builds{end + 1} = fullfile(root, 'build', 'classic');
  end
end
builds = cellfun(@canonicalize_file_name, builds, 'UniformOutput', false);

reps = 7;
if stencil
  K = stencil7(46);
else
  K = solid_stiffness(32);
end
n = rows(K);
s = sparse_description(K);
opt = int32([1 0 0]);
rand('seed', 3);
TR = rand(n, 50) - 0.5;
TC = complex(rand(n, 50) - 0.5, rand(n, 50) - 0.5);
cases = {'real TA, real TB', TR, TR; ...
         'real TA, complex TB', TR, TC; ...
         'complex TA, real TB', TC, TR; ...
         'complex TA, complex TB', TC, TC};
printf('K: %d DOF, %d entries; 50 modes; best of %d runs; %d cores\n', ...
       n, nnz(K), reps, nproc());

% The results, checked once per build before timing.
ref = cell(rows(cases), 1);
for c = 1:rows(cases)
  [~, TA, TB] = cases{c, :};
  ref{c} = peer_projection(TA, K, TB);
end

% The hand-over alone: "abc" with an empty product (k of n rows and one
% empty column, TB without columns) still reads all of TA.
kEmpty = struct('ir', zeros(0, 1, 'int32'), 'jc', int32([0; 0]), ...
                'pr', zeros(0, 1), 'dims', [n 1]);
TB0 = complex(zeros(1, 0), zeros(1, 0));

% Octave and the module take turns, run by run, so that a burst of other
% work on the machine slows both sides alike; each side keeps its best.
tOct = zeros(rows(cases), numel(builds));
tSpd = zeros(rows(cases), numel(builds));
handover = zeros(2, numel(builds));
previous = '';
for b = 1:numel(builds)
  use_build(builds{b}, previous);
  previous = builds{b};
  for c = 1:rows(cases)
    [name, TA, TB] = cases{c, :};
    err = rel_err(spardyn('abc', TA, s, TB, opt), ref{c});
    if err > 1e-12
      error('bench_complex: %s: %s differs from Octave by %.1e', builds{b}, name, err);
    end
    tOct(c, b) = inf; tSpd(c, b) = inf;
    for r = 1:reps
      tOct(c, b) = min(tOct(c, b), best_time(@() peer_projection(TA, K, TB), 1));
      tSpd(c, b) = min(tSpd(c, b), best_time(@() spardyn('abc', TA, s, TB, opt), 1));
    end
  end
  handover(1, b) = best_time(@() spardyn('abc', TC, kEmpty, TB0, opt), reps);
  handover(2, b) = best_time(@() spardyn('abc', TR, kEmpty, TB0, opt), reps);
end

printf('\nbuilds:\n');
for b = 1:numel(builds), printf('  [%d] %s\n', b, builds{b}); end
printf('\n%-26s', '"abc", 50 x 50 modes');
for b = 1:numel(builds), printf('   %10s %10s %6s', 'Octave', sprintf('[%d]', b), 'ratio'); end
printf('\n');
for c = 1:rows(cases)
  printf('%-26s', cases{c, 1});
  for b = 1:numel(builds)
    printf('   %7.1f ms %7.1f ms %6.2f', 1e3 * tOct(c, b), 1e3 * tSpd(c, b), tOct(c, b) / tSpd(c, b));
  end
  printf('\n');
end
printf('\nHanding the module one %d x 50 input (an \"abc\" call with an empty product):\n', n);
for b = 1:numel(builds)
  printf('  [%d] complex %7.2f ms, real %7.2f ms\n', b, 1e3 * handover(1, b), 1e3 * handover(2, b));
end
