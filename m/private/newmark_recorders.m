function rec = newmark_recorders(F, W, L)
% Two non-linear terms that record, at every step, the rows R = [F.'; W] of
% the state: the work of the loads needs F.'u and 'watch' needs W u.  They
% inject nothing (b has no values) and export into the model's FNL after
% its L entries of the caller's, where the stepper's force snapshots keep
% them:
%   - a 'Power' law with coefficient and exponent 1 outputs its observation
%     c u, here R u* at the step's predicted state u* (the terms see the
%     state before the correction);
%   - a 'DahlC' law whose state row reads nothing starts every evaluation
%     from z = 0 and, with h = stiffness = exponent = 1 and a saturation far
%     out of reach, outputs z = c v exactly: R v* in every other entry.
% The corrected state follows from both: the next step's predicted velocity
% is v*' = v* + h a, so u = u* + beta h^2 a = u* + beta h (v*' - v*) and
% v = v* + gamma h a (see newmark_reconstruct).
  R = [sparse(F.'); W];
  n = rows(R);
  N = columns(R);
  none = struct('trans', 1, 'dims', [n N]);
  disp_term = struct('type', 1003, 'b', none, 'c', sparse_description(R, true), ...
                     'unl', zeros(n, 1), 'snl', zeros(n, 1), ...
                     'opt', [nl_law_code('Power'); 1; 1], 'iopt', int32(L));
  Rv = sparse(2 * n, N);
  Rv(1:2:end, :) = R;
  vel_term = struct('type', 1003, 'b', setfield(none, 'dims', [2 * n N]), ...
                    'c', sparse_description(Rv, true), ...
                    'unl', zeros(2 * n, 1, 2), 'vnl', zeros(2 * n, 1, 2), ...
                    'snl', zeros(2 * n, 1), ...
                    'opt', [nl_law_code('DahlC'); 0; 1; 1; 1; 1e300; 1], ...
                    'iopt', int32([L + n, 0, 1, 1, n]));
  rec.terms = {disp_term, vel_term};
  rec.count = 3 * n;
  rec.layout = struct('R', R, 'nb', columns(F), 'disp', L + (1:n), ...
                      'vel', L + n + (1:2:2 * n));
  rec.initial = @(u0, v0) [R * u0; reshape([R * v0, zeros(n, 1)].', [], 1)];
end
