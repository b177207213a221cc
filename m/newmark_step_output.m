function out = newmark_step_output(N, nDef, nfnl)
% NEWMARK_STEP_OUTPUT  The step output of spardyn('chandlediagnewmark', ...).
%
%   out = newmark_step_output(N) holds, after a run, the start state and the
%   residual of the last step: out.uva.uva = [u; v; a; w] at the start of
%   that step (u, v, a of nDef entries each, w of N entries).
%
%   out = newmark_step_output(N, nDef, nfnl) sizes it for state vectors of
%   nDef entries (N plus internal states) and adds out.uva.FNL, which
%   receives the first nfnl entries of the model's "FNL" at every step; nfnl
%   also sets how many force entries the force snapshots keep.
  if nargin < 2 || isempty(nDef), nDef = N; end
  out = struct('uva', struct('uva', zeros(3 * nDef + N, 1)));
  if nargin >= 3
    out.uva.FNL = zeros(nfnl, 1);
  end
end
