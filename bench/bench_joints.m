% What 1,000 Dahl friction joints (one non-linear term) add to a step of
% "chandlediagnewmark" on a 7-point-stencil model of about 10^5 degrees of
% freedom, in the same process:
%   - the model alone (the joints' state DOFs present, no term);
%   - joints across an interface: between the nodes of two adjacent grid
%     planes, as a bolted or clamped joint lies (b scattered, as nl_dahl
%     stores it, and b stored by columns, which visits every column);
%   - the same number of joints between DOFs drawn at random over the whole
%     model: the worst case for the scattered reads of u and v;
%   - the joints' work per step done by Octave's own vectorised operations
%     (c*u, c*v, the Dahl update, b'*f), the peer of the term itself.
% The native term is checked against that Octave step first, and the peak
% memory of a short and a long run shows that a step allocates nothing.
%
%   octave-cli bench/bench_joints.m [build dir]     (default: build/)
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'), here);

function [f, z] = peer_joint_step(C, B, u, v, h, sigma, Fs, k)
% One evaluation of the joints, as Octave would write it.
  x = C * u; w = C * v;
  z = x(2:2:end); wd = w(1:2:end);
  g = 2 * (wd > 0) - 1;
  Bk = 1 - g .* z / Fs;
  z = z + (Bk > 0) .* wd * h * sigma .* max(Bk, 0);
  z = min(Fs, max(-Fs, z));
  s = zeros(2 * k, 1); s(1:2:end) = z;
  f = B.' * s;
end

function t = run_steps(handles, u0, v0, a0, out)
  u = u0 + 0; v = v0 + 0; a = a0 + 0;
  tic;
  spardyn('chandlediagnewmark', handles, struct(), u, v, a, [0 0], out);
  t = toc;
end

% The logical matrix of a sparse description.
function M = logical_matrix(s)
  stored = s.dims;
  if s.trans, stored = fliplr(stored); end
  M = sparse(double(s.ir) + 1, repelem((1:stored(2))', diff(double(s.jc))), ...
             s.pr, stored(1), stored(2));
  if s.trans, M = M.'; end
end

grid = 46; njoints = 1000;
K0 = stencil7(grid); n0 = rows(K0); n = n0 + njoints;  % states after the model
K = blkdiag(K0, sparse(njoints, njoints));
m = [1 + 0.1 * mod((1:n0)', 7); ones(njoints, 1)];
shape = zeros(n, 1); shape(1:grid:n0) = 1;
h = 0.5 * newmark_stable_step(m(1:n0), K0, 0.25, 0.5, zeros(n0, 1));
nsteps = 40;
t = (0:nsteps) * h;
st = newmark_stepper(m, [], K, h, 0.25, 0.5, shape, [t; sin(t / (10 * h))]);
base = {st, setfield(sparse_description(spdiags(m, 0, n, n)), 'type', 2), ...
        setfield(sparse_description(K), 'type', 1)};

% Joints from the nodes of grid plane 23 to those of plane 24 (a plane is a
% block of grid^2 consecutive DOFs), and between random DOFs; stiff joints
% that slide.
plane = 22 * grid^2;
interface = plane + [(1:njoints)' grid^2 + (1:njoints)'];
rand('seed', 4);
scattered = [randperm(n0, njoints)' randperm(n0, njoints)'];
scattered(scattered(:, 1) == scattered(:, 2), 2) = 0;
sigma = 0.5; Fs = 1e-4;
joint = nl_dahl(n, interface, n0 + 1, Fs, sigma, 'h', h);
jointRandom = nl_dahl(n, scattered, n0 + 1, Fs, sigma, 'h', h);
Bm = logical_matrix(joint.b);
jointGather = joint;
jointGather.b = sparse_description(Bm);   % b by columns: a gather over all

out = newmark_step_output(n);
u0 = 1e-3 * rand(n, 1); u0(n0 + 1:end) = 0; v0 = 1e-3 * randn(n, 1); v0(n0 + 1:end) = 0;
a0 = zeros(n, 1);

% The term's contribution against Octave's: one evaluation through
% "residual" at the start state.
for j = {joint, jointGather, jointRandom}
  id = spardyn('chandleset', 1003, j{1});
  r = zeros(n, 1); u = u0 + 0;
  spardyn('residual', r, chandle(id), u, v0, a0);
  [f, z] = peer_joint_step(logical_matrix(j{1}.c), logical_matrix(j{1}.b), u0, v0, ...
                           h, sigma, Fs, njoints);
  err = max(norm(r - f) / norm(f), norm(u(n0 + 1:end) - z) / norm(z));
  if err > 1e-13, error('the joints disagree with Octave: %g', err); end
  spardyn('chandleclear', id);
end

% Peak memory: a run of 2 steps, then of all of them.
short = base; short{1}.tft = short{1}.tft(:, 1:3);
run_steps([short {joint}], u0, v0, a0, out); kb_short = peak_kb();
run_steps([base {joint}], u0, v0, a0, out); kb_long = peak_kb();

Cm = logical_matrix(joint.c);
t_model = inf; t_joint = inf; t_gather = inf; t_random = inf; t_peer = inf;
for rep = 1:7
  t_model = min(t_model, run_steps(base, u0, v0, a0, out) / nsteps);
  t_joint = min(t_joint, run_steps([base {joint}], u0, v0, a0, out) / nsteps);
  t_gather = min(t_gather, run_steps([base {jointGather}], u0, v0, a0, out) / nsteps);
  t_random = min(t_random, run_steps([base {jointRandom}], u0, v0, a0, out) / nsteps);
  tic;
  for s = 1:nsteps, peer_joint_step(Cm, Bm, u0, v0, h, sigma, Fs, njoints); end
  t_peer = min(t_peer, toc / nsteps);
end

added = @(tj) sprintf('%7.3f ms   +%5.1f %%', 1e3 * tj, 100 * (tj / t_model - 1));
printf('model: %d DOF (%d model + %d joint states), %d non-zeros; %d Dahl joints in one term\n', ...
       n, n0, njoints, nnz(K), njoints);
printf('step, model alone                          : %7.3f ms\n', 1e3 * t_model);
printf('step, joints across an interface (nl_dahl) : %s  (target < 25 %%)\n', added(t_joint));
printf('step, the same with b stored by columns    : %s\n', added(t_gather));
printf('step, joints between random DOFs           : %s  (worst case)\n', added(t_random));
printf('joints'' work in Octave per step            : %7.3f ms   (native term: %.3f ms, %.1fx faster)\n', ...
       1e3 * t_peer, 1e3 * (t_joint - t_model), t_peer / max(t_joint - t_model, eps));
printf('peak memory after %d steps: %+d kB over a run of 2 steps\n', nsteps, kb_long - kb_short);
