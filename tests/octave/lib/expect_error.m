function expect_error(fn, id, message, label, prefix)
% fn() raises an error with this identifier ('' for none) and message.  The
% host puts "spardyn: " before the module's own messages; it is accepted with
% or without it.  Pass [] as message to check the identifier only; with
% prefix true, the message only has to begin with the given text (for
% messages that end with an address).
  try
    fn();
  catch err
    msg = err.message;
    if strncmp(msg, 'spardyn: ', 9), msg = msg(10:end); end
    ok = strcmp(err.identifier, id) && (isempty(message) && isnumeric(message) || ...
                                          strcmp(msg, message) || ...
                                          (nargin > 4 && prefix && strncmp(msg, message, numel(message))));
    if ~ok
      label = sprintf('%s\n    got [%s] "%s"\n    expected [%s] "%s"', label, ...
                      err.identifier, msg, id, num2str(message));
    end
    record_result(ok, label);
    return;
  end
  record_result(false, sprintf('%s (no error raised)', label));
end
