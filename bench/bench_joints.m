% What 1,000 Dahl friction joints (one non-linear term) add to a step of
% "chandlediagnewmark" on a 7-point-stencil model of about 10^5 degrees of
% freedom, in the same process:
%   - the model alone (the joints' state DOFs present but no term),
%   - the model with the joints, b gathered (stored columns) or scattered
%     (transposed storage),
%   - the joints' work per step done by Octave's own vectorised operations
%     (c*u, c*v, the Dahl update, b'*f), the peer of the term itself.
% Results of the native term are checked against that Octave step first,
% and the peak memory of a short and a long run shows that a step
% allocates nothing.
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

% Joints between random pairs of distinct DOFs; a stiff joint that slides.
rand('seed', 4);
pairs = [randperm(n0, njoints)' randperm(n0, njoints)'];
pairs(pairs(:, 1) == pairs(:, 2), 2) = 0;
sigma = 0.5; Fs = 1e-4;
joint = nl_dahl(n, pairs, n0 + 1, Fs, sigma, 'h', h);
% The builder stores b transposed (the injection scatters); the other form
% gathers over every column of b.
Bm = sparse(double(joint.b.ir) + 1, repelem((1:2 * njoints)', diff(double(joint.b.jc))), ...
            joint.b.pr, n, 2 * njoints).';
jointGather = joint;
jointGather.b = sparse_description(Bm);

out = newmark_step_output(n);
u0 = 1e-3 * rand(n, 1); u0(n0 + 1:end) = 0; v0 = 1e-3 * randn(n, 1); v0(n0 + 1:end) = 0;
a0 = zeros(n, 1);

% The term's contribution against Octave's: one evaluation through
% "residual" at the start state.
Cm = sparse(double(joint.c.ir) + 1, repelem((1:2 * njoints)', diff(double(joint.c.jc))), ...
            joint.c.pr, n, 2 * njoints).';
for j = {joint, jointGather}
  id = spardyn('chandleset', 1003, j{1});
  r = zeros(n, 1); u = u0 + 0;
  spardyn('residual', r, chandle(id), u, v0, a0);
  [f, z] = peer_joint_step(Cm, Bm, u0, v0, h, sigma, Fs, njoints);
  err = max(norm(r - f) / norm(f), norm(u(n0 + 1:end) - z) / norm(z));
  if err > 1e-13, error('the joints disagree with Octave: %g', err); end
  spardyn('chandleclear', id);
end

% Peak memory: a run of 2 steps, then of all of them.
short = base; short{1}.tft = short{1}.tft(:, 1:3);
run_steps([short {joint}], u0, v0, a0, out); kb_short = peak_kb();
run_steps([base {joint}], u0, v0, a0, out); kb_long = peak_kb();

t_model = inf; t_gather = inf; t_scatter = inf; t_peer = inf;
for rep = 1:7
  t_model = min(t_model, run_steps(base, u0, v0, a0, out) / nsteps);
  t_gather = min(t_gather, run_steps([base {jointGather}], u0, v0, a0, out) / nsteps);
  t_scatter = min(t_scatter, run_steps([base {joint}], u0, v0, a0, out) / nsteps);
  tic;
  for s = 1:nsteps, peer_joint_step(Cm, Bm, u0, v0, h, sigma, Fs, njoints); end
  t_peer = min(t_peer, toc / nsteps);
end

printf('model: %d DOF (%d model + %d joint states), %d non-zeros; %d Dahl joints in one term\n', ...
       n, n0, njoints, nnz(K), njoints);
printf('step, model alone                            : %7.3f ms\n', 1e3 * t_model);
printf('step, with the joints (nl_dahl, b scattered): %7.3f ms   +%.1f %%  (target < 25 %%)\n', ...
       1e3 * t_scatter, 100 * (t_scatter / t_model - 1));
printf('step, with the joints (b gathered)           : %7.3f ms   +%.1f %%\n', 1e3 * t_gather, ...
       100 * (t_gather / t_model - 1));
printf('joints'' work in Octave per step              : %7.3f ms   (native term: %.3f ms, %.1fx faster)\n', ...
       1e3 * t_peer, 1e3 * (t_scatter - t_model), t_peer / max(t_scatter - t_model, eps));
printf('peak memory after %d steps: %+d kB over a run of 2 steps\n', nsteps, kb_long - kb_short);
