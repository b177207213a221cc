function message = newmark_nonfinite(sim, j0, j1)
% What is no longer finite after the steps j0 -> j1, where, since when, and
% the likeliest cause: a term whose output or parameters are not finite,
% or else a state that grew until it overflowed.
  where = {};
  for name = {'u', 'v', 'a'}
    x = sim.(name{1});
    bad = find(~isfinite(x));
    if ~isempty(bad)
      i = bad(1);
      more = '';
      if numel(bad) > 1, more = sprintf(' and %d more entries', numel(bad) - 1); end
      where{end + 1} = sprintf('%s(%d) = %g%s%s', name{1}, i, x(i), dof_owner(sim, i), more);
    end
  end
  when = first_step(sim, j0, j1);
  cause = term_cause(sim);
  if isempty(cause)
    cause = ['the state grew until it overflowed: the step is above the stable ' ...
             'step (see newmark_stable_step) or a term adds energy'];
  end
  message = sprintf('newmark_run: values are no longer finite %s: %s; %s', ...
                    when, strjoin(where, ', '), cause);
end

% " (state k of term i)" for an appended state DOF, "" for a model DOF.
function s = dof_owner(sim, i)
  s = '';
  for k = 1:numel(sim.states)
    at = find(sim.states{k} == i, 1);
    if ~isempty(at)
      s = sprintf(' (state %d of term %d)', at, k);
    end
  end
end

% The first step whose recorded loads' work or watched values are not
% finite (the recorders see the predicted state of each step).
function s = first_step(sim, j0, j1)
  D = sim.store.FNL.def(sim.record.disp, j0 + 1:j1);
  bad = find(any(~isfinite(D), 1), 1);
  if isempty(bad)
    s = sprintf('between t = %.6g s and t = %.6g s (steps %d to %d)', ...
                sim.t(j0), sim.t(j1), j0, j1 - 1);
  else
    j = j0 + bad;
    s = sprintf('from the step to t = %.6g s (step %d) on', sim.t(j), j - 1);
  end
end

% The first non-linear term of sim.handles whose parameters or outputs are
% not finite.
function s = term_cause(sim)
  s = '';
  for k = 2:numel(sim.handles)
    h = sim.handles{k};
    if ~isstruct(h) || ~isfield(h, 'type') || h.type ~= 1003, continue; end
    law = law_name(h);
    if isfield(h, 'opt') && any(~isfinite(h.opt(:)))
      s = sprintf('the parameters (opt) of term sim.handles{%d} (law %s) are not finite', k, law);
      return;
    end
    for buf = {'snl', 'unl'}
      if isfield(h, buf{1}) && isnumeric(h.(buf{1})) && any(~isfinite(h.(buf{1})(:)))
        s = sprintf(['the output of term sim.handles{%d} (law %s) is not finite: ' ...
                     'check its parameters and the range of its input'], k, law);
        return;
      end
    end
  end
end

function name = law_name(h)
  name = '?';
  if isfield(h, 'opt') && ~isempty(h.opt) && isfinite(h.opt(1))
    code = fix(h.opt(1));
    bytes = mod(floor(code ./ 256 .^ (0:7)), 256);
    name = char(bytes(bytes > 0));
  end
end
