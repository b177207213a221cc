function x = hostile_fresh(x)
% HOSTILE_FRESH  A copy whose full numeric arrays share no data with x: the
% module writes into its arguments in place, which Octave's copy-on-write
% does not see, so a library value passed as is would carry one call's
% writes into the next.
  if isstruct(x)
    f = fieldnames(x);
    for e = 1:numel(x)
      for k = 1:numel(f)
        x(e).(f{k}) = hostile_fresh(x(e).(f{k}));
      end
    end
  elseif iscell(x)
    for k = 1:numel(x)
      x{k} = hostile_fresh(x{k});
    end
  elseif isnumeric(x) && ~issparse(x) && ~isempty(x)
    x = x + 0;
  end
end
