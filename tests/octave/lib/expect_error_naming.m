function expect_error_naming(fn, id, part, label)
% fn() raises an error with this identifier whose message contains part
% (the row and field of a malformed entry, for instance).
  try
    fn();
  catch err
    ok = strcmp(err.identifier, id) && ~isempty(strfind(err.message, part));
    if ~ok
      label = sprintf('%s\n    got [%s] "%s"\n    expected [%s] "...%s..."', label, ...
                      err.identifier, err.message, id, part);
    end
    record_result(ok, label);
    return;
  end
  record_result(false, sprintf('%s (no error raised)', label));
end
