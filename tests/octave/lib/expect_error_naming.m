function expect_error_naming(fn, id, parts, label)
% fn() raises an error with this identifier whose message contains every
% one of parts (a string or a cell of strings: the row and field of a
% malformed entry, for instance).
  if ischar(parts), parts = {parts}; end
  try
    fn();
  catch err
    ok = strcmp(err.identifier, id) && ...
         all(cellfun(@(p) ~isempty(strfind(err.message, p)), parts));
    if ~ok
      label = sprintf('%s\n    got [%s] "%s"\n    expected [%s] "...%s..."', label, ...
                      err.identifier, err.message, id, strjoin(parts, '...'));
    end
    record_result(ok, label);
    return;
  end
  record_result(false, sprintf('%s (no error raised)', label));
end
