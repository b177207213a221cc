% The main job: a clamped steel block of about 10^5 degrees of freedom
% (8-node bricks, lumped mass, Rayleigh damping) struck at its free end by a
% half-sine load pulse and held there by a friction pad (Dahl friction
% joints from every node of the end face to ground, one non-linear term),
% stepped natively by "chandlediagnewmark" in chunks, with a progress bar,
% an energy balance, a PNG plot of the tip response, of the pad's
% hysteresis loop and of the energies, and a one-line summary.
%
%   octave-cli examples/main.m        (after building into build/)
%   pkg load spardyn; source(fullfile(pkg('list', 'spardyn'){1}.dir, 'examples', 'main.m'))
%
% Sections: model, load, run set-up (further handle terms go into 'terms'),
% run, report.  Everything is in SI units.
here = fileparts(mfilename('fullpath'));
% With the package loaded, the module and the helpers are on the path;
% in the source tree they come from build/ and m/.
root = fullfile(here, '..');
if exist('spardyn', 'file') ~= 3 && exist(fullfile(root, 'build'), 'dir')
  addpath(fullfile(root, 'build'));
end
if exist('newmark_setup', 'file') ~= 2 && exist(fullfile(root, 'm'), 'dir')
  addpath(fullfile(root, 'm'));
end
if exist('spardyn', 'file') ~= 3
  error('main: the spardyn module is not on the path: build it (tools/main.sh) or load the package (pkg load spardyn)');
end
addpath(here);                        % elastic_block

% --- model ---------------------------------------------------------------------
L = [0.8 0.24 0.16];                  % block, clamped at x = 0 [m]
cells = [80 24 16];                   % bricks of 1 cm
E = 210e9; nu = 0.3; rho = 7800;      % steel
tic;
model = elastic_block(L, cells, E, nu, rho);
N = rows(model.K);
printf('Elastic block %g x %g x %g m: %d bricks, %d DOF, %d non-zeros in K (built in %.1f s)\n', ...
       L, prod(cells), N, nnz(model.K), toc);

% --- load: 200 kN downwards on the free end face, a 0.2 ms half sine -------------
[y, z] = meshgrid(0:L(2) / cells(2):L(2), 0:L(3) / cells(3):L(3));
face = arrayfun(@(y, z) model.dof(L(1), y, z, 3), y(:), z(:));
F = zeros(N, 1);
F(face) = -200e3 / numel(face);
pulse = 0.2e-3;
load_factor = @(t) sin(pi * t / pulse) .* (t < pulse);
tip = model.dof(L(1), L(2) / 2, L(3) / 2, 3);   % centre of the free end, uz

% --- friction pad: a Dahl joint from each end-face node (uz) to ground ------------
% 10 kN of sliding force and 10^8 N/m of sticking stiffness in all.  The
% joints' friction states are DOFs appended to the model (unit mass, no
% stiffness, no load): the stepper leaves them to the term, which keeps
% them up to date.
nj = numel(face);
states = N + (1:nj)';
pad = nl_dahl(N + nj, [face(:) zeros(nj, 1)], N + 1, 10e3 / nj, 1e8 / nj);
m = [model.m; ones(nj, 1)];
K = blkdiag(model.K, sparse(nj, nj));
F = [F; zeros(nj, 1)];

% --- run set-up ------------------------------------------------------------------
beta = 0.25; gamma = 0.5;
rayleigh = [20 2e-8];                  % rayM [1/s], rayK [s]
hmax = newmark_stable_step(model.m, model.K, beta, gamma, ...
                           rayleigh(1) * spdiags(model.m, 0, N, N) + rayleigh(2) * model.K);
h = 0.9 * hmax;
T = 8e-3;
t = 0:h:T;
sim = newmark_setup(m, K, F, t, load_factor, 'rayleigh', rayleigh, ...
                    'beta', beta, 'gamma', gamma, 'watch', [tip; states], 'terms', {pad});
printf('Newmark beta = %g, gamma = %g, step %.3g us (stable bound %.3g us), %d steps to %g ms\n', ...
       beta, gamma, 1e6 * h, 1e6 * hmax, numel(t) - 1, 1e3 * T);

% --- run ---------------------------------------------------------------------------
sim = newmark_run(sim, 'chunk', 50);
p = sim.progress;

% --- report --------------------------------------------------------------------------
warning('off', 'all');                % gnuplot's notice; plotting only from here
graphics_toolkit('gnuplot');
fig = figure('visible', 'off', 'position', [0 0 1000 750]);
subplot(2, 2, 1);
plot(1e3 * p.t, 1e3 * p.watched(1, :), 'b-', 'linewidth', 1.5);
grid on;
xlabel('t [ms]'); ylabel('tip u_z [mm]');
title(sprintf('Tip of the clamped block (%d DOF), 200 kN pulse', N));
subplot(2, 2, 2);
friction = sum(p.watched(2:end, :), 1);   % the pad's total friction force
plot(1e3 * p.watched(1, :), 1e-3 * friction, 'r-', 'linewidth', 1.5);
grid on;
xlabel('tip u_z [mm]'); ylabel('friction force [kN]');
title(sprintf('Friction pad (%d Dahl joints)', nj));
subplot(2, 1, 2);
plot(1e3 * p.t, p.Ekin, 'r-', 1e3 * p.t, p.Estrain, 'b-', 1e3 * p.t, p.W, 'k--', ...
     1e3 * p.t, -p.balance, 'm-', 'linewidth', 1.5);
grid on;
xlabel('t [ms]'); ylabel('energy [J]');
title('Energy balance: kinetic + strain + dissipated = work of the load');
legend('kinetic', 'strain', 'work of the load', 'dissipated (Rayleigh, pad)', 'location', 'east');
png = fullfile(pwd(), 'spardyn_main.png');
print(fig, png, '-dpngcairo', '-S1000,750', '-F:5');

[peak, at] = max(abs(p.watched(1, :)));
verdict = {'kept', 'BROKEN'}{1 + p.diverged};
printf('%d DOF, %d steps in %.1f s (%.0f steps/s); tip peak %.3f mm at %.2f ms; work %.3g J, %.1f %% dissipated, energy balance %s; plot: %s\n', ...
       N, p.steps, p.seconds, p.steps / p.seconds, 1e3 * peak, 1e3 * p.t(at), ...
       p.W(end), -100 * p.balance(end) / p.W(end), ...
       verdict, png);
if p.diverged, exit(1); end
