% The walk of a model's "NL" list in "residual", in the same process:
%   - 1,000 rotating-centre joints in one list, computed natively, against
%     the same computation written in vectorised Octave (a named function
%     that gathers the joints from the same list and evaluates them all at
%     once), results checked equal first;
%   - the same two without what surrounds the arithmetic: the module's
%     joint on plain records (host-free tool spardyn_bench_nl) against the
%     Octave arithmetic on arrays gathered beforehand;
%   - the walk's own cost per entry for 100 and 1,000 entries whose force
%     function returns at once, against the calls of that function made by
%     Octave itself with the same arguments.
%
%   octave-cli bench/bench_nl_walk.m [build dir]     (default: build/)
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
build_dir = fullfile(root, 'build');
if numel(argv()) >= 1 && exist(argv(){end}, 'dir'), build_dir = argv(){end}; end
addpath(build_dir, fullfile(root, 'm'), here);

% --- the Octave peer of the rotating centre ----------------------------------

% Every joint of the list at once: gathered from the entries, then the
% joint's arithmetic on 3 x n arrays.  Joints by index lists of three
% components, tables of equal row counts with increasing abscissae.
function [r, FNL] = peer_rotcenters(NL, u, v, r, FNL)
  S = [NL{:, 3}];
  C = [S.Cell];
  g = gather_joints(C(:, 2:2:end), S);
  [r, FNL] = peer_arithmetic(g, u, v, r, FNL);
end

function g = gather_joints(R, S)
  n = columns(R);
  g.k = [R{1, :}];
  g.P = reshape([R{2, :}], 9, n);
  g.D = [R{3, :}]; g.E = [R{4, :}]; g.Q = [R{10, :}];
  g.dofA = reshape([R{5, :}], 3, n); g.compA = reshape([R{6, :}], 3, n);
  g.dofB = reshape([R{7, :}], 3, n); g.compB = reshape([R{8, :}], 3, n);
  g.fnl = double(reshape([R{11, :}], 3, n)) + 1;
  g.Fu = cat(3, S.Fu); g.Fv = cat(3, S.Fv);
end

function [r, FNL] = peer_arithmetic(g, u, v, r, FNL)
  n = numel(g.k);
  theta = u(g.k).'; omega = v(g.k).';
  at = @(comp) comp + 3 * (0:n - 1);          % linear index of (comp, joint)
  [xA, vA, xB, vB] = deal(zeros(3, n));
  xA(at(g.compA)) = u(g.dofA); vA(at(g.compA)) = v(g.dofA);
  xB(at(g.compB)) = u(g.dofB); vB(at(g.compB)) = v(g.dofB);
  vA = vA + omega .* g.Q;
  c = cos(theta); s = sin(theta);
  A1 = c .* g.P(1:3, :) + s .* g.P(4:6, :);    % columns of A = P * Rz(theta)
  A2 = c .* g.P(4:6, :) - s .* g.P(1:3, :);
  A3 = g.P(7:9, :);
  turned = g.D + xA;
  yA = A1 .* turned(1, :) + A2 .* turned(2, :) + A3 .* turned(3, :);
  wA = A1 .* vA(1, :) + A2 .* vA(2, :) + A3 .* vA(3, :);
  F = table_force(g.Fu, g.E + xB - yA) + table_force(g.Fv, vB - wA);
  FNL(g.fnl) = F;
  G = -[sum(A1 .* F, 1); sum(A2 .* F, 1); sum(A3 .* F, 1)];
  atB = at(g.compB); atA = at(g.compA);
  r = r + accumarray([g.dofB(:); g.dofA(:)], [F(atB(:)); G(atA(:))], [numel(r) 1]);
end

% Each row of q through the tables (rows x 2 x n), the first and last
% intervals extended.
function y = table_force(T, q)
  X = squeeze(T(:, 1, :)); Y = squeeze(T(:, 2, :));
  nx = rows(X); n = columns(X);
  y = zeros(size(q));
  for i = 1:3
    k = 1 + sum(q(i, :) > X(2:nx - 1, :), 1);
    lo = k + nx * (0:n - 1);
    a = (q(i, :) - X(lo)) ./ (X(lo + 1) - X(lo));
    y(i, :) = a .* Y(lo + 1) + (1 - a) .* Y(lo);
  end
end

% --- the models ------------------------------------------------------------------

% n joints, each between its own points A and B (6 DOFs) and turned by DOF
% 1; the model's matrices hold no values, so that "residual" is the walk.
function [model, u, v, a] = rotcenter_model(n)
  ndof = 1 + 6 * n;
  empty = sparse_description(sparse(ndof, ndof));
  model = struct('K', {{empty, empty, empty}}, 'FNL', zeros(3 * n, 1));
  rand('seed', 5);
  model.NL = cell(n, 3);
  for j = 1:n
    b = 1 + 6 * (j - 1);
    t = rand() - 0.5;
    P = [cos(t) -sin(t) 0; sin(t) cos(t) 0; 0 0 1];
    Fu = [-1 -300; -0.01 -2; 0 0; 0.01 2; 1 300] .* [1 1 + rand()];
    Fv = [-2 -8; -0.1 -0.5; 0.1 0.5; 2 8] .* [1 1 + rand()];
    S = nl_rotcenter(b + (1:3), b + (4:6), 1, P, 0.1 * (rand(3, 1) - 0.5), ...
                     0.1 * (rand(3, 1) - 0.5), 0.1 * (rand(3, 1) - 0.5), Fu, Fv, ...
                     'fnl', 3 * (j - 1) + 1);
    model.NL(j, :) = {sprintf('joint %d', j), 'rotcenter', S};
  end
  u = 0.02 * (rand(ndof, 1) - 0.5); v = 0.5 * (rand(ndof, 1) - 0.5); a = zeros(ndof, 1);
end

function varargout = returns_at_once(varargin)
  varargout = {};
end

% n entries with a force function that returns at once (their "snl",
% zeros, is injected), on a model of 50 DOFs.
function model = fu_model(n)
  ndof = 50;
  empty = sparse_description(sparse(ndof, ndof));
  model = struct('K', {{empty, empty, empty}});
  model.NL = cell(n, 3);
  for j = 1:n
    R = sparse([1 1 2], mod([j, j + 7, j + 3], ndof) + 1, [1 -1 1], 2, ndof);
    model.NL(j, :) = {'', 'Fu', nl_force_entry(R, R, @returns_at_once)};
  end
end

% The force function called n times by Octave with the walk's arguments.
function call_n_times(fu, n, varargin)
  for k = 1:n
    feval(fu, varargin{:});
  end
end

function t = best_of(reps, f)
  t = inf;
  for k = 1:reps
    tic; f(); t = min(t, toc);
  end
end

function tool = read_nl_tool(build_dir, n)
  [status, out] = system(sprintf('"%s" rotcenter %d', fullfile(build_dir, 'spardyn_bench_nl'), n));
  if status ~= 0, error('bench:tool', 'spardyn_bench_nl failed: %s', out); end
  tool = struct();
  for line = strsplit(strtrim(out), "\n")
    parts = strsplit(strtrim(line{1}), ' ');
    tool.(parts{1}) = str2double(parts{2});
  end
end

% --- 1,000 rotating centres ------------------------------------------------------

n = 1000;
[model, u, v, a] = rotcenter_model(n);
ndof = numel(u);
r = zeros(ndof, 1);
spardyn('residual', r, model, u, v, a);
[rPeer, fnlPeer] = peer_rotcenters(model.NL, u, v, zeros(ndof, 1), zeros(3 * n, 1));
err = max(norm(r - rPeer) / norm(rPeer), norm(model.FNL - fnlPeer) / norm(fnlPeer));
if err > 1e-12, error('the joints disagree with the Octave peer: %g', err); end

t_native = best_of(7, @() spardyn('residual', zeros(ndof, 1), model, u, v, a));
t_peer = best_of(7, @() peer_rotcenters(model.NL, u, v, zeros(ndof, 1), zeros(3 * n, 1)));
S = [model.NL{:, 3}]; C = [S.Cell];
g = gather_joints(C(:, 2:2:end), S);
t_arith = best_of(7, @() peer_arithmetic(g, u, v, zeros(ndof, 1), zeros(3 * n, 1)));
tool = read_nl_tool(build_dir, n);
t_core = 1e-9 * n * tool.checked_ns;

printf('%d rotating-centre joints in one NL list (%d DOFs)\n', n, ndof);
printf('  "residual", native walk               : %8.3f ms\n', 1e3 * t_native);
printf('  Octave peer from the same list        : %8.3f ms   ratio %5.1fx (target >= 20x)\n', ...
       1e3 * t_peer, t_peer / t_native);
printf('  the arithmetic alone: module (plain records, checked): %8.3f ms (%.0f ns per joint, %.0f ns unchecked)\n', ...
       1e3 * t_core, tool.checked_ns, tool.rotcenter_ns);
printf('                        Octave (arrays gathered before): %8.3f ms   ratio %5.1fx\n', ...
       1e3 * t_arith, t_arith / t_core);
printf('  reading the list through the MEX interface: about %.1f us per joint\n', ...
       1e6 * (t_native - t_core) / n);

% --- the walk's own cost per entry ----------------------------------------------

for n = [100 1000]
  model = fu_model(n);
  plain = rmfield(model, 'NL');
  u = zeros(50, 1); v = zeros(50, 1); a = zeros(50, 1); opt = struct('tc', 0);
  t_walk = best_of(7, @() spardyn('residual', zeros(50, 1), model, u, v, a, opt));
  t_none = best_of(7, @() spardyn('residual', zeros(50, 1), plain, u, v, a, opt));
  S = model.NL{1, 3}; rr = zeros(50, 1); fu = S.Fu;
  t_calls = best_of(7, @() call_n_times(fu, n, S, rr, model, u, v, a, opt, []));
  printf('%4d "Fu" entries returning at once: %6.2f us per entry in the walk; Octave''s own call of the function %5.2f us; the walk beyond it %5.2f us\n', ...
         n, 1e6 * (t_walk - t_none) / n, 1e6 * t_calls / n, 1e6 * (t_walk - t_none - t_calls) / n);
end
printf('(timings on a shared machine: expect noise)\n');
