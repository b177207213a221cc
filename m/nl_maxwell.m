function t = nl_maxwell(ndof, pair, k0, kb, cb, h, varargin)
% NL_MAXWELL  A viscoelastic mount: generalised Maxwell model between two
% DOFs.
%
%   t = nl_maxwell(ndof, pair, k0, kb, cb, h) makes a non-linear term acting
%   on x = u(pair(1)) - u(pair(2)) (pair(2) = 0: ground): a spring k0 in
%   parallel with branches j of a spring kb(j) in series with a dashpot
%   cb(j).  The force
%       f = k0*x + sum_j kb(j)*(x - y_j),   dy_j/dt = kb(j)/cb(j)*(x - y_j)
%   acts +f on pair(1) and -f on pair(2).  The dashpot displacements y_j
%   are integrated inside the term (explicit Euler, 'nsub' sub-steps per
%   evaluation over the time step h) and kept in its buffers, not in u.
%   The Euler steps are stable while h/nsub < 2*min(cb./kb).
%
%   Options (name/value):
%     'nsub'  sub-steps per evaluation (default 1)
%     'c0'    dashpot parallel to the mount (default 0)
%     'fnl'   1-based position in the model's FNL of the force (followed by
%             one unused value per branch)
%
%   Example (a 2-branch mount from DOF 4 to ground, 1 ms steps):
%     t = nl_maxwell(10, [4 0], 1e5, [2e5 5e4], [20 500], 1e-3);
  o = nl_options(struct('nsub', 1, 'c0', 0, 'fnl', 0), varargin, 'nl_maxwell');
  R = nl_relative(ndof, pair, 'nl_maxwell');
  nb = numel(kb);
  if size(R, 1) ~= 1 || nb < 1 || numel(cb) ~= nb || o.nsub < 1 || h <= 0
    error('VRK:spardyn:Invalid', ['nl_maxwell: one DOF pair, as many ' ...
          'dashpots as branch springs, nsub >= 1 and h > 0']);
  end
  kb = kb(:); cb = cb(:); rate = kb ./ cb;
  % Coefficient arrays at fixed offsets for nb states: Cu, Cv from opt(6)
  % and opt(6 + 2nb^2), then x' = P1*x + P2*y + P3*dx/dt.
  opt = zeros(5 + 6 * nb^2 + nb, 1);
  opt(1:4) = [nl_law_code('Maxw'); 0; h / o.nsub; o.nsub];
  opt(6 + (0:nb)) = [k0 + sum(kb); -kb];                  % Cu
  opt(6 + 2 * nb^2) = o.c0;                               % Cv(1)
  opt(6 + 4 * nb^2 + (0:nb - 1)) = rate;                  % P1
  opt(6 + 5 * nb^2 + (0:nb^2 - 1)) = reshape(-diag(rate), [], 1);  % P2
  % P3 = 0: the dashpots do not see the rate of x directly.
  iopt = [nl_fnl(o.fnl), 0, nb, nb, 1];
  C = [R; sparse(nb, ndof)];
  t = nl_term(C, C, opt, iopt, 3, true);
end
