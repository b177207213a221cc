function t = nl_table(ndof, pairs, x, f, varargin)
% NL_TABLE  A term of tabulated force-displacement springs.
%
%   t = nl_table(ndof, pairs, x, f) makes a non-linear term whose element i
%   acts on x_i = u(pairs(i,1)) - u(pairs(i,2)) (0 in column 2: ground)
%   with the force f(x_i) interpolated linearly in the table (x, f), +f on
%   pairs(i,1) and -f on pairs(i,2).  x must not decrease; a repeated
%   abscissa is a step, where the force is the mean of both sides.  Beyond
%   the table the first and last intervals are extended.
%
%   Option 'fnl': 1-based position in the model's FNL of the k forces.
%
%   Example (a gap closing at 1 mm, then a stiff contact):
%     t = nl_table(10, [3 0], [-1 1e-3 2e-3], [0 0 -1e5]);
  o = nl_options(struct('fnl', 0), varargin, 'nl_table');
  R = nl_relative(ndof, pairs, 'nl_table');
  x = x(:); f = f(:);
  if isempty(x) || numel(f) ~= numel(x) || any(diff(x) < 0)
    error('VRK:spardyn:Invalid', ['nl_table: x and f need the same ' ...
          'number of values, x must not decrease']);
  end
  nx = numel(x);
  % The table after the code, then its three-value interpolation cursor.
  opt = [nl_law_code('Table'); x; f; 0; 0; 0];
  iopt = [nl_fnl(o.fnl), 0, 0, 0, 0, 1, 1 + 2 * nx, nx, 1];
  t = nl_term(R, R, opt, iopt, 1, false);
end
