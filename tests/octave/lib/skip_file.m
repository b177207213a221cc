function skip_file(reason)
% Records that the calling test file does not apply to the module under
% test; the file returns after calling it.
  global SPARDYN_TEST_STATE
  SPARDYN_TEST_STATE.skipped{end+1} = sprintf('%s (%s)', SPARDYN_TEST_STATE.file, reason);
end
