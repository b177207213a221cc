function sim = newmark_run(sim, varargin)
% NEWMARK_RUN  Runs a native Newmark simulation in chunks, with a progress bar.
%
%   sim = newmark_run(sim) steps the run prepared by newmark_setup from where
%   it stands to the last time point, calling
%   spardyn('chandlediagnewmark', ...) once per chunk of time points.  The
%   module updates sim.u, sim.v, sim.a, the step output and the snapshots in
%   place; sim.progress records the time reached and the energy balance.
%
%   Options (name, value):
%     'chunk', n    at most n steps per native call (default 200)
%     'stop_at', T  stop at the last time point not after T
%     'wall', s     stop after the chunk that passes s seconds of wall time
%     'tol', r      flag the run as diverging when the energy balance shows
%                   more than r times the energy scale created (default 1e-2)
%     'bar', false  no progress bar
%
%   Stopping and resuming: the state lives in the arrays of sim, which the
%   module writes in place, and sim.progress is a handle object.  After
%   'until' or 'wall', or after Ctrl-C (which takes effect between chunks),
%   call newmark_run(sim) again with the same sim to continue.
%
%   Energy balance: kinetic + strain energy - work of the loads must not
%   grow (see newmark_progress).  When it does beyond the tolerance, when
%   the energy exceeds a hundred times all the energy put in (initial energy
%   and work of the loads), or when a value is no longer finite,
%   the run stops with the warning "newmark_run:diverged" and
%   sim.progress.diverged = true: the step is above the stable step (see
%   newmark_stable_step) or a term adds energy.
  p = inputParser();
  p.FunctionName = 'newmark_run';
  p.addParameter('chunk', 200);
  p.addParameter('stop_at', Inf);
  p.addParameter('wall', Inf);
  p.addParameter('tol', 1e-2);
  p.addParameter('bar', true);
  p.parse(varargin{:});
  o = p.Results;

  pr = sim.progress;
  pr.settle(sim);
  if pr.diverged
    warning('newmark_run:diverged', 'newmark_run: this run has diverged; set it up again');
    return;
  end
  last = find(sim.t <= o.stop_at, 1, 'last');
  if isempty(last), last = 1; end
  bar = progress_bar(o.bar, pr.j, last);
  start = tic();
  while pr.j < last
    j0 = pr.j;
    j1 = chunk_end(sim.factors, j0, min(last, j0 + o.chunk));
    handles = sim.handles;
    handles{1}.tft = sim.tft(:, j0:j1);
    pr.begin_chunk(j0, j1);
    t0 = tic();
    spardyn('chandlediagnewmark', handles, sim.model, sim.u, sim.v, sim.a, ...
            sim.rayleigh, sim.out, sim.store);
    pr.seconds += toc(t0);
    pr.steps += j1 - j0;
    pr.finish_chunk(sim, j1);
    bar = draw_bar(bar, pr.j, pr.steps / max(pr.seconds, eps), sim.t(pr.j));
    if diverging(pr, o.tol)
      end_bar(bar);
      pr.diverged = true;
      warning('newmark_run:diverged', ...
              'newmark_run: energy balance broken at t = %.6g s (%.3g of energy created): the run diverges; reduce the step (see newmark_stable_step)', ...
              sim.t(pr.j), pr.balance(end));
      return;
    end
    if toc(start) > o.wall, break; end
  end
  end_bar(bar);
end

% The last time point of a chunk from j0: several steps only while the load
% factors stay the same, so the work of the loads is exact at chunk ends.
function j1 = chunk_end(f, j0, cap)
  j1 = j0 + 1;
  if ~isequal(f(:, j1), f(:, j0)), return; end
  while j1 < cap && isequal(f(:, j1 + 1), f(:, j0))
    j1 += 1;
  end
end

% Energy created beyond the tolerance, or a physical energy far above all
% the energy put in (the stepper's own energy can turn negative once its
% effective mass is no longer positive, so both are watched).
function bad = diverging(pr, tol)
  e = pr.Ekin(end) + pr.Estrain(end);
  put_in = pr.input_energy();
  bad = ~isfinite(pr.balance(end)) || ~isfinite(e) ...
        || pr.balance(end) > tol * max(put_in, e) || e > 100 * put_in;
end

% A one-line bar redrawn in place, at most ten times a second.
function bar = progress_bar(enabled, first, last)
  bar = struct('enabled', enabled, 'first', first, 'last', last, 'shown', -Inf);
end

function bar = draw_bar(bar, j, rate, t)
  if ~bar.enabled || (j < bar.last && time() - bar.shown < 0.1), return; end
  width = 30;
  frac = (j - bar.first) / max(bar.last - bar.first, 1);
  filled = round(width * frac);
  fprintf('\r[%s%s] %3.0f%%  step %d/%d  %.0f steps/s  t = %.4g s  ', ...
          repmat('#', 1, filled), repmat('.', 1, width - filled), 100 * frac, ...
          j - 1, bar.last - 1, rate, t);
  fflush(stdout);
  bar.shown = time();
end

function end_bar(bar)
  if bar.enabled, fprintf('\n'); end
end
