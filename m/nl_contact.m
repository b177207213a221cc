function t = nl_contact(ndof, t1, t2, n, first, table, mu, varargin)
% NL_CONTACT  A term of contact elements: tabulated normal force and two
% Dahl friction directions.
%
%   t = nl_contact(ndof, t1, t2, n, first, table, mu) makes a non-linear
%   term of k contact elements.  Element i observes two tangential relative
%   displacements and a normal coordinate, each from a row of the k x 2 DOF
%   pairs t1, t2 and n (x = u(p(1)) - u(p(2)), 0 for ground).  table has
%   three columns [g, Fn, kt]: the normal coordinate g (not decreasing;
%   repeated values are steps), the normal force Fn and the tangential
%   stiffness kt there.  Each tangential direction is a Dahl friction force
%   of stiffness kt saturating at mu*Fn; the normal force is Fn - offset.
%   The two friction states of element i are u(first + 2(i-1)) and
%   u(first + 2i - 1): with first = [] they are appended after the ndof
%   DOFs of the model and newmark_setup gives them DOFs of their own
%   (sim.states); with first = p the caller has appended them to M, K and F
%   (unit mass, no stiffness, no load) and ndof counts them.
%
%   Options (name/value):
%     'kspring'  a linear spring subtracted from all three forces (default 0)
%     'alpha'    exponent of the friction law (default 1)
%     'offset'   subtracted from the normal force (default 0)
%     'h'        time increment of the friction states; 0 (default): the
%                step, which newmark_setup fills in (used directly, the
%                module takes the time of the first evaluation)
%     'fnl'      1-based position in FNL of the 5k outputs (tangential,
%                tangential, normal, then two unused values per element)
%
%   Example (one contact of DOFs 1, 2, 3 against ground):
%     tab = [-1 0 0; 0 0 0; 1e-3 -1e3 1e5];
%     t = nl_contact(10, [1 0], [2 0], [3 0], [], tab, 0.3);
  o = nl_options(struct('kspring', 0, 'alpha', 1, 'offset', 0, 'h', 0, ...
                        'fnl', 0), varargin, 'nl_contact');
  R = {nl_relative(ndof, t1, 'nl_contact'), nl_relative(ndof, t2, 'nl_contact'), ...
       nl_relative(ndof, n, 'nl_contact')};
  k = size(R{1}, 1);
  if size(R{2}, 1) ~= k || size(R{3}, 1) ~= k
    error('VRK:spardyn:Invalid', 'nl_contact: t1, t2 and n need one row per element');
  end
  if size(table, 2) ~= 3 || isempty(table) || any(diff(table(:, 1)) < 0)
    error('VRK:spardyn:Invalid', ['nl_contact: the table needs 3 columns ' ...
          '[g Fn kt] and a non-decreasing g']);
  end
  [S, width, appended] = nl_state_rows(ndof, first, 2 * k, 'nl_contact');
  for i = 1:3, R{i} = [R{i}, sparse(k, width - ndof)]; end
  % Element i: rows 5i-4 … 5i = t1, t2, n, state 1, state 2.
  order = reshape(reshape(1:5 * k, k, 5)', [], 1);
  C = [R{1}; R{2}; R{3}; S(1:2:end, :); S(2:2:end, :)];
  C = C(order, :);
  B = [R{1}; R{2}; R{3}; sparse(2 * k, width)];
  B = B(order, :);
  nx = size(table, 1);
  opt = [nl_law_code('Clima2'); 0; o.h; o.kspring; o.alpha; mu; o.offset; ...
         table(:); 0; 0; 0];
  % Blocks of 3 observed values and 2 states; the table from opt(8), its
  % cursor after it.
  iopt = [nl_fnl(o.fnl), find(S(1, :)) - 1, 3, 2, k, 7, 7 + 3 * nx, nx, 2];
  t = nl_term(B, C, opt, iopt, 2, true);
  if appended, t.states = 2 * k; end
end
