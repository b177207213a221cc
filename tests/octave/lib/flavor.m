function f = flavor()
% The flavour of the module under test: 'linux64', 'win64' or 'win32', as
% the runner was told (run_all.m).
  global SPARDYN_TEST_FLAVOR
  f = SPARDYN_TEST_FLAVOR;
  if isempty(f), f = 'linux64'; end
end
