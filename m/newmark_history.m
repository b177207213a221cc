function r = newmark_history(sim)
% NEWMARK_HISTORY  What a run of newmark_run recorded at every step.
%
%   r = newmark_history(sim) returns, for the time points the run has
%   reached (sim.t(1:sim.progress.j)):
%     r.t        the times, a row
%     r.watched  the watched values at every step: one row per DOF (or row
%                of the matrix) given to newmark_setup's 'watch'
%     r.watched_v  their rates (velocities)
%     r.W        the work of the loads from the start, at every step:
%                sum of (u1 - u0)'(F0 + F1)/2 over the steps
%     r.fnl      the entries of the model's own FNL (the given
%                'model'.FNL: forces the non-linear terms export) after
%                every step; the first column is as the model gave it
%     r.saved_t, r.saved  the displacement snapshots of 'save' reached so
%                far (sim.store.data, sim.store.def)
%   The values are those of the state at the end of each step (the
%   stepper's own, corrected state), the first column the initial state.
%
%   How: newmark_setup builds two recording terms that newmark_run adds to
%   every native call, so that the module evaluates them at every step with
%   the others (they observe the rows, inject nothing and export into the
%   model's FNL, whose snapshots the stepper keeps at every time point in
%   sim.store.FNL); the terms see the predicted state of each step, from
%   which the corrected one follows exactly.  A run made by calling the
%   module directly records nothing.
%
%   Example:
%     sim = newmark_run(newmark_setup(m, K, F, 0.1, f, 'watch', [tip; root]));
%     r = newmark_history(sim);
%     plot(r.t, r.watched(1, :))
  if ~isfield(sim, 'record') || ~isfield(sim, 'progress')
    error('newmark_history: sim must come from newmark_setup');
  end
  pr = sim.progress;
  pr.settle(sim);
  j = pr.j;
  [X, V] = newmark_reconstruct(sim, 1, j);
  nb = sim.record.nb;
  r = struct();
  r.t = sim.t(1:j);
  r.watched = X(nb + 1:end, :);
  r.watched_v = V(nb + 1:end, :);
  f = sim.factors(:, 1:j);
  dq = diff(X(1:nb, :), 1, 2);
  r.W = [0, cumsum(sum(dq .* (f(:, 1:end - 1) + f(:, 2:end)) / 2, 1))];
  r.fnl = sim.store.FNL.def(1:sim.record.disp(1) - 1, 1:j);
  reached = sim.store.data <= sim.t(j);
  r.saved_t = sim.store.data(reached).';
  r.saved = sim.store.def(:, reached);
end
