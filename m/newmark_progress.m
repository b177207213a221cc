classdef newmark_progress < handle
% NEWMARK_PROGRESS  Where a chunked Newmark run stands, and its energy balance.
%
%   A handle object kept in sim.progress by newmark_setup: newmark_run
%   updates it after every chunk, so that it survives an interrupted run
%   (Ctrl-C between chunks) together with the state arrays, which the module
%   updates in place.  Fields, one entry per completed chunk end:
%     t        times reached
%     Ekin     kinetic energy 1/2 v'Mv
%     Estrain  strain energy 1/2 u'Ku
%     W        work of the loads since the start
%     balance  Ealg - W - Ealg(start): zero in an undamped run, negative
%              when damping or friction dissipates, positive when energy is
%              created (a diverging run).
%     watched  u(watch) at those times, one column each (watch: the DOFs
%              given to newmark_setup's 'watch' option).
%   Ealg is the energy the stepper keeps exactly: kinetic energy with its
%   effective mass Meff = M - (beta h^2 + gamma h rayK)(K - diag K)
%   - gamma h (C - diag C), plus strain energy, plus
%   (beta - 1/4) h^2/2 a'Meff a.  The work of the loads over a step is
%   (u1 - u0)'(F0 + F1)/2, exact for that energy; newmark_run makes chunks
%   of several steps only where the load factors are constant, so the chunk
%   ends give the same sum.
  properties
    j = 1;             % time point the state is at (index into sim.t)
    t = [];
    Ekin = [];
    Estrain = [];
    W = [];
    balance = [];
    watch = [];
    watched = [];
    steps = 0;         % steps taken by newmark_run calls
    seconds = 0;       % time spent in them
    diverged = false;
    pending = [];      % the chunk handed to the module and not yet booked
  end
  properties (Access = private)
    Ealg0 = 0;
    q = [];            % F'u at the last booked time point
  end

  methods
    function obj = newmark_progress(sim, watch)
      if nargin >= 2, obj.watch = watch(:); end
      e = newmark_progress.energies(sim);
      obj.Ealg0 = e.Ealg;
      obj.q = e.q;
      obj.record(sim, sim.t(1), e, 0);
    end

    function begin_chunk(obj, j0, j1)
      obj.pending = [j0 j1];
    end

    % Books the chunk handed to the module, up to the time point jr it
    % reached (the module's clock, d5).
    function finish_chunk(obj, sim, jr)
      j0 = obj.pending(1);
      e = newmark_progress.energies(sim);
      f = sim.factors;
      work = obj.W(end) + 0.5 * (f(:, j0) + f(:, jr)).' * (e.q - obj.q);
      obj.q = e.q;
      obj.record(sim, sim.t(jr), e, work);
      obj.j = jr;
      obj.pending = [];
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

    % The initial energy plus the largest work of the loads so far.
    function E = input_energy(obj)
      E = max(abs(obj.Ealg0) + max(abs(obj.W)), realmin);
    end
  end

  methods (Access = private)
    function record(obj, sim, t, e, work)
      obj.t(end + 1) = t;
      obj.watched(:, end + 1) = sim.u(obj.watch);
      obj.Ekin(end + 1) = e.Ekin;
      obj.Estrain(end + 1) = e.Estrain;
      obj.W(end + 1) = work;
      obj.balance(end + 1) = e.Ealg - work - obj.Ealg0;
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
      e.q = E.F.' * u;
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
