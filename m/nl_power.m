function t = nl_power(ndof, pairs, coef, expo, varargin)
% NL_POWER  A term of power-law springs between pairs of DOFs.
%
%   t = nl_power(ndof, pairs, coef, expo) makes a non-linear term whose
%   spring i acts on x_i = u(pairs(i,1)) - u(pairs(i,2)) (0 in column 2:
%   ground) with the force f_i = coef * x_i^expo, +f_i on pairs(i,1) and
%   -f_i on pairs(i,2).  A negative x_i with a non-integer exponent gives
%   NaN: use odd integer exponents for springs that work both ways.
%
%   Option 'fnl': 1-based position in the model's FNL of the k forces
%   (default 0: none).
%
%   Example (a cubic spring from DOF 2 to ground):
%     t = nl_power(10, [2 0], 1e6, 3);
  o = nl_options(struct('fnl', 0), varargin, 'nl_power');
  R = nl_relative(ndof, pairs, 'nl_power');
  t = nl_term(R, R, [nl_law_code('Power'), coef, expo], nl_fnl(o.fnl), 1, false);
end
