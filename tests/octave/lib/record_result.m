function record_result(ok, label)
% Counts one check; a failure is remembered with its file and label.
  global SPARDYN_TEST_STATE
  if ok
    SPARDYN_TEST_STATE.passed = SPARDYN_TEST_STATE.passed + 1;
  else
    SPARDYN_TEST_STATE.failed = SPARDYN_TEST_STATE.failed + 1;
    SPARDYN_TEST_STATE.failures{end+1} = sprintf('%s: %s', SPARDYN_TEST_STATE.file, label);
  end
end
