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
% joints' friction states become DOFs of their own, appended to the model by
% newmark_setup (first = []), after its N DOFs.
nj = numel(face);
pad = nl_dahl(N, [face(:) zeros(nj, 1)], [], 10e3 / nj, 1e8 / nj);
% Followed at every step: the tip, and the pad's total friction force (the
% sum of its states).
watch = sparse([1, 2 * ones(1, nj)], [tip, N + (1:nj)], 1, 2, N + nj);

% --- run set-up: Newmark's beta and the step chosen for stability and for
% accuracy (lowest natural frequencies within 1 %) ---------------------------------
rayleigh = [20 2e-8];                  % rayM [1/s], rayK [s]
T = 8e-3;
sim = newmark_setup(model.m, model.K, F, T, load_factor, 'rayleigh', rayleigh, ...
                    'terms', {pad}, 'watch', watch);
acc = sim.accuracy;
printf(['Newmark beta = %.3g, gamma = %g, step %.3g us (%.2f of the stable step %.3g us), ' ...
        '%d steps to %g ms; estimated frequency error of the lowest modes %+.2f %%\n'], ...
       acc.beta, acc.gamma, 1e6 * acc.h, acc.h / acc.hmax, 1e6 * acc.hmax, ...
       numel(sim.t) - 1, 1e3 * T, 100 * acc.err);

% --- run ---------------------------------------------------------------------------
sim = newmark_run(sim, 'balance', 50);
p = sim.progress;
r = newmark_history(sim);
if p.diverged, error('main: the run stopped: %s', p.reason); end

% --- report --------------------------------------------------------------------------
warning('off', 'all');                % gnuplot's notice; plotting only from here
graphics_toolkit('gnuplot');
fig = figure('visible', 'off', 'position', [0 0 1000 750]);
% The axes are placed by hand, and their labels and the legend are drawn on
% an invisible overlay in figure coordinates: gnuplot puts axis labels over
% long tick labels and a legend over the curves.  The tick at the bottom
% corner of each y axis is left out so that it does not touch the first x
% tick.
function clear_corner(ax)
  yl = ylim(ax);
  yt = get(ax, 'ytick');
  set(ax, 'ytick', yt(yt > yl(1) + 1e-9 * diff(yl)));
end
ax = axes('position', [0.10 0.60 0.36 0.33]);
plot(ax, 1e3 * r.t, 1e3 * r.watched(1, :), 'b-', 'linewidth', 1.5);
grid(ax, 'on'); clear_corner(ax);
title(ax, sprintf('Tip of the clamped block (%d DOF), 200 kN pulse', N));
ax = axes('position', [0.60 0.60 0.36 0.33]);
plot(ax, 1e3 * r.watched(1, :), 1e-3 * r.watched(2, :), 'r-', 'linewidth', 1.5);
grid(ax, 'on'); clear_corner(ax);
title(ax, sprintf('Friction pad (%d Dahl joints)', nj));
ax = axes('position', [0.10 0.09 0.56 0.37]);
dissipated = -p.balance;
styles = {'r-', 'b-', 'm-', 'g-', 'k--'};
names = {'kinetic', 'strain', 'dissipated (Rayleigh, pad)', ...
         'kinetic + strain + dissipated', 'work of the load'};
% The sum is drawn wide under the dashed work, which it should cover.
widths = [1.5 1.5 1.5 5 1.5];
lines = plot(ax, 1e3 * p.t, p.Ekin, styles{1}, 1e3 * p.t, p.Estrain, styles{2}, ...
             1e3 * p.t, dissipated, styles{3}, 1e3 * p.t, p.Ekin + p.Estrain + dissipated, styles{4}, ...
             1e3 * r.t, r.W, styles{5});
for i = 1:numel(lines), set(lines(i), 'linewidth', widths(i)); end
grid(ax, 'on'); clear_corner(ax);
title(ax, 'Energy balance: kinetic + strain + dissipated = work of the load');
ov = axes('position', [0 0 1 1], 'visible', 'off');
xlim(ov, [0 1]); ylim(ov, [0 1]); hold(ov, 'on');
label = @(x, y, s, turn) text(ov, x, y, s, 'rotation', turn, 'horizontalalignment', 'center');
label(0.035, 0.765, 'tip u_z [mm]', 90);        label(0.28, 0.545, 't [ms]', 0);
label(0.535, 0.765, 'friction force [kN]', 90); label(0.78, 0.545, 'tip u_z [mm]', 0);
label(0.035, 0.275, 'energy [J]', 90);          label(0.38, 0.03, 't [ms]', 0);
for i = 1:numel(names)
  y = 0.40 - 0.045 * i;
  plot(ov, [0.70 0.74], [y y], styles{i}, 'linewidth', widths(i));
  text(ov, 0.75, y, names{i});
end
png = fullfile(pwd(), 'spardyn_main.png');
print(fig, png, '-dpngcairo', '-S1000,750', '-F:5');

% --- summary ---------------------------------------------------------------------------
[~, at] = max(abs(r.watched(1, :)));
W = p.W(end);
excess = max(0, max(p.balance));
printf(['%d DOF + %d friction states, %d steps of %.3g us (beta = %.3g, estimated frequency ' ...
        'error %+.2f %%) in %.1f s (%.0f steps/s); tip peak %+.3f mm at %.2f ms; work of the ' ...
        'load %.3g J, %.1f %% dissipated; energy check: none created (largest excess %.2f %% ' ...
        'of the work at %d checks); plot: %s\n'], ...
       N, nj, p.steps, 1e6 * acc.h, acc.beta, 100 * acc.err, p.seconds, p.steps / p.seconds, ...
       1e3 * r.watched(1, at), 1e3 * r.t(at), W, -100 * p.balance(end) / W, 100 * excess / W, ...
       numel(p.t), png);
