classdef newmark_progress < handle
% NEWMARK_PROGRESS  Where a chunked Newmark run stands, and its energy balance.
%
%   A handle object kept in sim.progress by newmark_setup: newmark_run
%   updates it after every native call, so that it survives an interrupted
%   run (Ctrl-C between calls) together with the state arrays, which the
%   module updates in place.  Fields, one entry per energy check (the start,
%   then every 'balance' steps of newmark_run and where a run stops):
%     t        times of the checks
%     Ekin     kinetic energy 1/2 v'Mv
%     Estrain  strain energy 1/2 u'Ku
%     W        work of the loads since the start
%     balance  Ealg - W - Ealg(start): zero in an undamped run, negative
%              when damping or friction dissipates, positive when energy is
%              created (a diverging run).
%   and j (the time point reached), steps and seconds (spent in the
%   module), diverged (the run stopped on a fault) and reason (why).
%   The values at every step are in newmark_history(sim).
%
%   Ealg is the energy the stepper keeps exactly: kinetic energy with its
%   effective mass Meff = M - (beta h^2 + gamma h rayK)(K - diag K)
%   - gamma h (C - diag C), plus strain energy, plus
%   (beta - 1/4) h^2/2 a'Meff a.  The work of the loads over a step is
%   (u1 - u0)'(F0 + F1)/2, exact for that energy; it is summed at every
%   step from the recorded F'u (see newmark_history).
  properties
    j = 1;             % time point the state is at (index into sim.t)
    t = [];
    Ekin = [];
    Estrain = [];
    W = [];
    balance = [];
    steps = 0;         % steps taken by newmark_run calls
    seconds = 0;       % time spent in them
    diverged = false;
    reason = '';
    pending = [];      % the chunk handed to the module and not yet booked
  end
  properties (Access = private)
    Ealg0 = 0;
    q = [];            % F'u at time point j
    work = 0;          % work of the loads up to time point j
    largest_work = 0;
  end

  methods
    function obj = newmark_progress(sim)
      e = newmark_progress.energies(sim);
      obj.Ealg0 = e.Ealg;
      obj.q = sim.energy.F.' * sim.u;
      obj.record(sim.t(1), e);
    end

    function begin_chunk(obj, j0, j1)
      obj.pending = [j0 j1];
    end

    % Books the chunk handed to the module, up to the time point jr it
    % reached (the module's clock, d5): the work of the loads at every step,
    % and, when check is true (the default), the energies and the balance.
    function finish_chunk(obj, sim, jr, check)
      if nargin < 4, check = true; end
      j0 = obj.pending(1);
      q = obj.loads_state(sim, j0, jr);
      f = sim.factors(:, j0:jr);
      obj.work += sum(sum(diff(q, 1, 2) .* (f(:, 1:end - 1) + f(:, 2:end)) / 2));
      obj.largest_work = max(obj.largest_work, abs(obj.work));
      obj.q = q(:, end);
      obj.j = jr;
      obj.pending = [];
      if check
        obj.record(sim.t(jr), newmark_progress.energies(sim));
      end
    end

    % After an interruption: books a chunk the module ran but the run did
    % not book, from the time the module wrote into the stepper's d5.
    function settle(obj, sim)
      if isempty(obj.pending), return; end
      clock = sim.handles{1}.data(6);
      jr = find(sim.t(obj.pending(1):obj.pending(2)) == clock, 1, 'last');
      if isempty(jr) || jr == 1
        obj.pending = [];          % the chunk never ran
      else
        obj.finish_chunk(sim, obj.pending(1) + jr - 1);
      end
    end

    % The energy scale of the run: the initial energy plus the largest work
    % of the loads so far, plus the acceleration term that the loads can
    % give the kept energy (see newmark_setup).
    function E = input_energy(obj, sim)
      E = max(abs(obj.Ealg0) + obj.largest_work + sim.energy.a_scale, realmin);
    end

    % The work of the loads up to the time point reached.
    function w = work_done(obj)
      w = obj.work;
    end
  end

  methods (Access = private)
    function record(obj, t, e)
      obj.t(end + 1) = t;
      obj.Ekin(end + 1) = e.Ekin;
      obj.Estrain(end + 1) = e.Estrain;
      obj.W(end + 1) = obj.work;
      obj.balance(end + 1) = e.Ealg - obj.work - obj.Ealg0;
    end

    % F'u at the time points j0 … jr: from the two ends when the load
    % factors do not change in between (their product with the difference
    % is then all the work needs), from the recorders otherwise.
    function q = loads_state(obj, sim, j0, jr)
      f = sim.factors(:, j0:jr);
      q_end = sim.energy.F.' * sim.u;
      if all(all(f == f(:, 1)))
        q = [obj.q, q_end];
        q = q(:, [1, 2 * ones(1, jr - j0)]);
      else
        q = newmark_reconstruct(sim, j0, jr)(1:sim.record.nb, :);
        q(:, 1) = obj.q;
        q(:, end) = q_end;
      end
    end
  end

  methods (Static)
    function e = energies(sim)
      E = sim.energy;
      u = sim.u; v = sim.v; a = sim.a;
      Ku = E.K * u;
      e.Ekin = 0.5 * v.' * (E.m .* v);
      e.Estrain = 0.5 * u.' * Ku;
      e.Ealg = 0.5 * newmark_progress.meff_norm(E, v) + e.Estrain;
      if E.beta ~= 0.25
        e.Ealg += (E.beta - 0.25) * E.h^2 / 2 * newmark_progress.meff_norm(E, a);
      end
    end

    % x'Meff x
    function s = meff_norm(E, x)
      g = E.gamma * E.h;
      s = x.' * (E.m .* x) ...
          - (E.beta * E.h^2 + g * E.rayK) * (x.' * (E.K * x) - x.' * (E.dK .* x));
      if nnz(E.C) > 0
        s -= g * (x.' * (E.C * x) - x.' * (E.dC .* x));
      end
    end
  end
end
