function t = nl_dahl(ndof, pairs, first, Fs, sigma, varargin)
% NL_DAHL  A term of Dahl friction joints between pairs of DOFs.
%
%   t = nl_dahl(ndof, pairs, first, Fs, sigma) makes a non-linear term for
%   chandleset (type 1003) or a cell handle vector.  Joint i acts on the
%   relative displacement x_i = u(pairs(i,1)) - u(pairs(i,2)) (a 0 in column
%   2 ties the joint to ground) with a friction force z_i following Dahl's
%   law
%       dz/dt = sigma * (1 - sign(dx/dt) * z / Fs)^alpha * dx/dt,
%   which starts with stiffness sigma and saturates at the sliding force Fs;
%   +z_i acts on pairs(i,1) and -z_i on pairs(i,2).  The friction states
%   live in the displacement vector at u(first), …, u(first+k-1): ndof is
%   the length of u including them, and those entries hold the initial
%   states (zero: unloaded).
%
%   Options (name/value):
%     'alpha'  exponent of Dahl's law (default 1)
%     'h'      time increment; 0 (default) takes the time of the first
%              evaluation, which is the step of a run starting at t = 0
%     'fnl'    1-based position in the model's FNL where the 2k outputs are
%              copied at every evaluation: z_i at fnl + 2(i-1) (default 0:
%              none)
%
%   Example (one joint from DOF 3 to ground, state after 10 model DOFs):
%     t = nl_dahl(11, [3 0], 11, 2.5, 1e4, 'fnl', 1);
  o = nl_options(struct('alpha', 1, 'h', 0, 'fnl', 0), varargin, 'nl_dahl');
  R = nl_relative(ndof, pairs, 'nl_dahl');
  k = size(R, 1);
  S = nl_state_rows(ndof, first, k, 'nl_dahl');
  pairOrder = reshape([1:k; k + 1:2 * k], [], 1);
  C = [R; S];                  % x_i, then z_i read back from u
  C = C(pairOrder, :);
  B = [R; sparse(k, ndof)];
  B = B(pairOrder, :);
  opt = [nl_law_code('DahlC'), 0, o.h, sigma, o.alpha, Fs, 1];
  % Blocks of one observed value followed by one state, written back to u
  % from 0-based position first-1.
  iopt = [nl_fnl(o.fnl), first - 1, 1, 1, k];
  t = nl_term(B, C, opt, iopt, 2, true);
end
