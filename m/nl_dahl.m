function t = nl_dahl(ndof, pairs, first, Fs, sigma, varargin)
% NL_DAHL  A term of Dahl friction joints between pairs of DOFs.
%
%   t = nl_dahl(ndof, pairs, first, Fs, sigma) makes a non-linear term for
%   chandleset (type 1003), a cell handle vector or newmark_setup's
%   'terms'.  Joint i acts on the relative displacement
%   x_i = u(pairs(i,1)) - u(pairs(i,2)) (a 0 in column 2 ties the joint to
%   ground) with a friction force z_i following Dahl's law
%       dz/dt = sigma * (1 - sign(dx/dt) * z / Fs)^alpha * dx/dt,
%   which starts with stiffness sigma and saturates at the sliding force Fs;
%   +z_i acts on pairs(i,1) and -z_i on pairs(i,2).
%
%   The friction states are entries of the displacement vector:
%     first = []   they are appended after the ndof DOFs of the model:
%                  newmark_setup gives them DOFs of their own (unit mass, no
%                  stiffness, no load) and lists them in sim.states; start
%                  at zero (unloaded).  ndof is the model's number of DOFs.
%     first = p    they are u(p), …, u(p+k-1), which the caller has appended
%                  to M, K and F (unit mass, no stiffness, no load); ndof is
%                  the length of u including them, and those entries hold
%                  the initial states.
%
%   Options (name/value):
%     'alpha'  exponent of Dahl's law (default 1)
%     'h'      time increment of the friction state's explicit update; 0
%              (default): the step, which newmark_setup fills in (used
%              directly, the module takes the time of the first
%              evaluation, which is the step of a run starting at t = 0)
%     'fnl'    1-based position in the model's FNL where the 2k outputs are
%              copied at every evaluation: z_i at fnl + 2(i-1) (default 0:
%              none)
%
%   Example (one joint from DOF 3 of a 10-DOF model to ground):
%     t = nl_dahl(10, [3 0], [], 2.5, 1e4);
%     sim = newmark_setup(m, K, F, 1, f, 'terms', {t});   % sim.states{1} = 11
  o = nl_options(struct('alpha', 1, 'h', 0, 'fnl', 0), varargin, 'nl_dahl');
  R = nl_relative(ndof, pairs, 'nl_dahl');
  k = size(R, 1);
  [S, width, appended] = nl_state_rows(ndof, first, k, 'nl_dahl');
  R = [R, sparse(k, width - ndof)];     % the states' columns, when appended
  pairOrder = reshape([1:k; k + 1:2 * k], [], 1);
  C = [R; S];                      % x_i, then z_i read back from u
  C = C(pairOrder, :);
  B = [R; sparse(k, width)];
  B = B(pairOrder, :);
  opt = [nl_law_code('DahlC'), 0, o.h, sigma, o.alpha, Fs, 1];
  % Blocks of one observed value followed by one state, written back to u
  % from the 0-based position of the first state.
  iopt = [nl_fnl(o.fnl), find(S(1, :)) - 1, 1, 1, k];
  t = nl_term(B, C, opt, iopt, 2, true);
  if appended, t.states = k; end
end
