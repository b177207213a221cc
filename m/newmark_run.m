function sim = newmark_run(sim, varargin)
% NEWMARK_RUN  Runs a native Newmark simulation in chunks, with a progress bar.
%
%   sim = newmark_run(sim) steps the run prepared by newmark_setup from where
%   it stands to the last time point, calling
%   spardyn('chandlediagnewmark', ...) once per chunk of steps.  The module
%   updates sim.u, sim.v, sim.a, the step output and the snapshots in
%   place, and records the watched values and the work of the loads at
%   every step (newmark_history); sim.progress keeps the time reached and
%   the energy balance.
%
%   Options (name, value):
%     'chunk', n    at most n steps per native call (default 10): between
%                   calls the state is checked for values that are not
%                   finite and for energy growing without bound, so a run
%                   stops within n steps of going wrong
%     'balance', n  check the energy balance every n steps (default 200;
%                   it costs a few products with K)
%     'stop_at', T  stop at the last time point not after T
%     'wall', s     stop after the chunk that passes s seconds of wall time
%     'tol', r      flag the run as diverging when the energy balance shows
%                   more than r times the energy scale created (default 1e-2)
%     'bar', b      true (default): a progress bar with the rate and the
%                   time left, redrawn in place on a terminal and printed as
%                   whole lines (every 10 %) otherwise; false: none;
%                   'lines' or 'live' to choose
%
%   Stopping and resuming: the state lives in the arrays of sim, which the
%   module writes in place, and sim.progress is a handle object.  After
%   'stop_at' or 'wall', or after Ctrl-C (which takes effect between
%   chunks), call newmark_run(sim) again with the same sim to continue.
%
%   Faults stop the run with sim.progress.diverged = true and the reason in
%   sim.progress.reason:
%     "newmark_run:nonfinite"  a value of u, v or a is no longer finite: the
%                   warning says which, where (DOF, or the state of which
%                   term), in which steps, and which term's output or
%                   parameters are not finite;
%     "newmark_run:diverged"   the energy grows: the kinetic energy exceeds a
%                   hundred times the energy scale of the run (initial
%                   energy, work of the loads, and for beta < 1/4 the
%                   acceleration term the loads give the energy the stepper
%                   keeps), or the energy balance (kinetic + strain - work,
%                   see newmark_progress) shows more than 'tol' of it
%                   created; the step is above the stable step
%                   (newmark_stable_step) or a term adds energy.
  p = inputParser();
  p.FunctionName = 'newmark_run';
  p.addParameter('chunk', 10);
  p.addParameter('balance', 200);
  p.addParameter('stop_at', Inf);
  p.addParameter('wall', Inf);
  p.addParameter('tol', 1e-2);
  p.addParameter('bar', true);
  p.parse(varargin{:});
  o = p.Results;
  if ~(isscalar(o.chunk) && o.chunk >= 1 && o.chunk == fix(o.chunk))
    error('newmark_run: ''chunk'' must be a whole number of steps >= 1');
  end
  if ~isfield(sim, 'recorders')
    error('newmark_run: sim must come from newmark_setup');
  end

  pr = sim.progress;
  pr.settle(sim);
  if pr.diverged
    warning('newmark_run:diverged', 'newmark_run: this run has stopped on a fault (%s); set it up again', ...
            pr.reason);
    return;
  end
  last = find(sim.t <= o.stop_at, 1, 'last');
  if isempty(last), last = 1; end
  bar = newmark_bar(o.bar, pr.j, last);
  start = tic();
  since_check = 0;
  handles = [sim.handles, sim.recorders];
  while pr.j < last
    j0 = pr.j;
    j1 = min(last, j0 + o.chunk);
    handles{1}.tft = sim.tft(:, j0:j1);
    pr.begin_chunk(j0, j1);
    t0 = tic();
    spardyn('chandlediagnewmark', handles, sim.model, sim.u, sim.v, sim.a, ...
            sim.rayleigh, sim.out, sim.store);
    pr.seconds += toc(t0);
    pr.steps += j1 - j0;
    since_check += j1 - j0;
    stopping = j1 == last || toc(start) > o.wall;
    check = since_check >= o.balance || stopping;
    pr.finish_chunk(sim, j1, check);
    if check, since_check = 0; end
    bar = newmark_bar(bar, pr.j, pr.steps / max(pr.seconds, eps), sim.t(pr.j));
    [id, message] = fault(sim, pr, j0, j1, check, o.tol);
    if ~isempty(id)
      newmark_bar(bar);
      pr.diverged = true;
      pr.reason = message;
      warning(id, '%s', message);
      return;
    end
    if stopping, break; end
  end
  newmark_bar(bar);
end

% The first fault after the steps j0 -> j1: values that are not finite,
% then energy without bound (cheap: the kinetic energy), then, at a check,
% energy created beyond the tolerance (the stepper's own energy can turn
% negative once its effective mass is no longer positive, so both are
% watched).
function [id, message] = fault(sim, pr, j0, j1, check, tol)
  id = ''; message = '';
  if ~isfinite(sum(sim.u)) || ~isfinite(sum(sim.v)) || ~isfinite(sum(sim.a))
    id = 'newmark_run:nonfinite';
    message = newmark_nonfinite(sim, j0, j1);
    return;
  end
  Ekin = 0.5 * sim.v.' * (sim.energy.m .* sim.v);
  put_in = pr.input_energy(sim);
  created = 0;
  if check
    created = pr.balance(end);
    e = pr.Ekin(end) + pr.Estrain(end);
  else
    e = Ekin;
  end
  if e > 100 * put_in
    what = sprintf('%s energy %.3g, more than a hundred times the energy scale %.3g of the initial state and the loads', ...
                   ifelse(check, 'kinetic + strain', 'kinetic'), e, put_in);
  elseif created > tol * max(put_in, e)
    what = sprintf('the energy balance shows %.3g created, %.2g %% of the energy scale %.3g (tolerance %.2g %%)', ...
                   created, 100 * created / max(put_in, e), max(put_in, e), 100 * tol);
  else
    return;
  end
  id = 'newmark_run:diverged';
  message = sprintf(['newmark_run: the energy grows without bound at t = %.6g s (step %d): %s; ' ...
                     'the step %.4g s is above the stable step (see newmark_stable_step) ' ...
                     'or a term adds energy'], sim.t(j1), j1 - 1, what, sim.energy.h);
end
