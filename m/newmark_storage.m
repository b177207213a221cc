function store = newmark_storage(nDef, save_times, nfnl, fnl_save_times)
% NEWMARK_STORAGE  Snapshot storage for spardyn('chandlediagnewmark', ...).
%
%   store = newmark_storage(nDef, save_times) keeps the first nDef entries
%   of u at every step whose time equals one of save_times exactly (take
%   them from the time table: store.data = t(k)'): store.def(:, i) is u at
%   save_times(i).  Columns of save times that no step reaches keep zeros.
%
%   store = newmark_storage(nDef, save_times, nfnl, fnl_save_times) also
%   keeps the first nfnl entries of the model's "FNL" (forces of non-linear
%   terms, load factors) at fnl_save_times, in store.FNL.def.  nfnl must
%   match the step output's "FNL" (see newmark_step_output).
%
%   nDef is the number of degrees of freedom N, or N plus the internal
%   states carried at the end of u.
  if nargin < 2, save_times = []; end
  store = struct('data', double(save_times(:)), ...
                 'def', zeros(nDef, numel(save_times)));
  if nargin >= 4
    store.FNL = struct('data', double(fnl_save_times(:)), ...
                       'def', zeros(nfnl, numel(fnl_save_times)));
  end
end
