function [X, V] = newmark_reconstruct(sim, j0, j1)
% The recorded rows R u and R v (see newmark_recorders) at the time points
% j0 … j1, the state being at j1 now: column j1 from sim.u and sim.v, the
% first time point from the initial record, the others from the predicted
% values the recorders kept,
%   u_s = u*_s + beta h (v*_{s+1} - v*_s),  v_s = v*_s + gamma (v*_{s+1} - v*_s).
  lay = sim.record;
  D = sim.store.FNL.def;
  X = D(lay.disp, j0:j1);
  V = D(lay.vel, j0:j1);
  inner = max(j0, 2):j1 - 1;               % columns with a next record
  if ~isempty(inner)
    E = sim.energy;
    dv = D(lay.vel, inner + 1) - D(lay.vel, inner);
    X(:, inner - j0 + 1) += E.beta * E.h * dv;
    V(:, inner - j0 + 1) += E.gamma * dv;
  end
  X(:, end) = lay.R * sim.u;
  V(:, end) = lay.R * sim.v;
end
