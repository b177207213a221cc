function o = newmark_options(o, args, what)
% Name/value pairs over the defaults in o; unknown names are refused with
% the list of known ones.
  if mod(numel(args), 2)
    error('%s: options come in name/value pairs', what);
  end
  for k = 1:2:numel(args)
    if ~ischar(args{k}) || ~isfield(o, args{k})
      error('%s: unknown option; known: %s', what, strjoin(fieldnames(o)', ', '));
    end
    o.(args{k}) = args{k + 1};
  end
end
