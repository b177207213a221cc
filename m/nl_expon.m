function t = nl_expon(ndof, pairs, coef, base, varargin)
% NL_EXPON  A term of exponential springs between pairs of DOFs.
%
%   t = nl_expon(ndof, pairs, coef, base) makes a non-linear term whose
%   element i acts on x_i = u(pairs(i,1)) - u(pairs(i,2)) (0 in column 2:
%   ground) with the force f_i = coef * base^x_i, +f_i on pairs(i,1) and
%   -f_i on pairs(i,2).
%
%   Option 'fnl': 1-based position in the model's FNL of the k forces.
%
%   Example:
%     t = nl_expon(10, [4 5], 2, 3);
  o = nl_options(struct('fnl', 0), varargin, 'nl_expon');
  R = nl_relative(ndof, pairs, 'nl_expon');
  t = nl_term(R, R, [nl_law_code('Expon'), coef, base], nl_fnl(o.fnl), 1, false);
end
