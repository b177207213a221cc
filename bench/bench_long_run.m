% Long runs stay flat: resident memory (VmRSS) of the Octave process around
%   1. handle cycles: "chandleset" of a sparse description of 100 values,
%      then "chandleclear" of its number (10^6 by default);
%   2. Newmark steps of a small model with a Dahl friction joint, stepped
%      natively 1,000 steps per call of "chandlediagnewmark" (10^6 by
%      default).
% After a warm-up, memory is printed before, after every fifth and after;
% a flat run grows by no more than the allocator's own noise (a few hundred
% kB at most, independent of the count).
%
%   octave-cli bench/bench_long_run.m [cycles] [steps] [build dir]
args = argv();
root = fileparts(fileparts(mfilename('fullpath')));
build = fullfile(root, 'build');
cycles = 1e6; steps = 1e6;
if numel(args) >= 1, cycles = str2double(args{1}); end
if numel(args) >= 2, steps = str2double(args{2}); end
if numel(args) >= 3, build = args{3}; end
addpath(build);
addpath(fullfile(root, 'm'));

function kb = resident_kb()
  s = fileread('/proc/self/status');
  kb = str2double(regexp(s, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1});
end

function report(what, done, total, before, t0)
  printf('  %-14s %9d of %9d   VmRSS %8d kB  (%+6d kB)   %6.1f s\n', what, done, ...
         total, resident_kb(), resident_kb() - before, toc(t0));
end

% --- 1. handle cycles --------------------------------------------------------
K = sparse_description(sparse(ones(10)));       % 100 stored values
printf('handle cycles: a sparse description of %d values\n', numel(K.pr));
for k = 1:1e4
  spardyn('chandleclear', spardyn('chandleset', 1, K));
end
t0 = tic;
report('warm-up', 0, cycles, resident_kb(), t0);   % the report's own first use
before = resident_kb();
report('before', 0, cycles, before, t0);
fifth = max(1, round(cycles / 5));
for k = 1:cycles
  spardyn('chandleclear', spardyn('chandleset', 1, K));
  if mod(k, fifth) == 0, report('cycles', k, cycles, before, t0); end
end
cyclesGrowth = resident_kb() - before;

% --- 2. Newmark steps ----------------------------------------------------------
% One native call steps the 1,000 intervals of its time table from the state
% it is given; the calls follow each other on the same arrays.
n = 20; e = ones(n, 1);
Kc = spdiags([-e 2 * e -e], -1:1, n, n) * 1e4;
Kc(n, :) = 0; Kc(:, n) = 0;                      % DOF n: the friction state
h = 1e-4; chunk = 1000;
t = (0:chunk) * h;
F = [zeros(n - 2, 1); 1; 0];
joint = nl_dahl(n, [1 0], n, 5, 1e5);
sim = newmark_setup(ones(n, 1), Kc, F, t, @(x) 10 * sin(2 * pi * 5 * x), ...
                    'terms', {joint}, 'rayleigh', [1 0], 'quiet', true);
calls = max(1, round(steps / chunk));
printf('Newmark steps: %d DOFs with a Dahl joint, %d calls of %d steps\n', n, calls, chunk);
run = @() spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, ...
                  sim.a, sim.rayleigh, sim.out, sim.store);
for k = 1:10, run(); end                          % warm-up
t0 = tic;
before = resident_kb();
report('before', 0, calls * chunk, before, t0);
fifth = max(1, round(calls / 5));
for k = 1:calls
  run();
  if mod(k, fifth) == 0, report('steps', k * chunk, calls * chunk, before, t0); end
end
steps = calls * chunk;
if ~all(isfinite(sim.u)), printf('the run diverged\n'); end
stepsGrowth = resident_kb() - before;
printf('growth: %d kB over %d handle cycles (%.2f B/cycle), %d kB over %d steps (%.3f B/step)\n', ...
       cyclesGrowth, cycles, cyclesGrowth * 1024 / cycles, stepsGrowth, steps, ...
       stepsGrowth * 1024 / steps);
