% Runs every tests/octave/test_*.m against the module in the build directory
% and prints "N passed, N failed".
%
%   octave-cli tests/octave/run_all.m <build dir> <source dir> [pattern]
%
% The build directory may be a list of directories separated by ':', searched
% in that order (build/classic:build tests the module built against the
% classic array interface, with the test fixture of build/).
args = argv();
if numel(args) < 2
  error('usage: run_all.m <build dir> <source dir> [pattern]');
end
build_dir = args{1}; src_dir = args{2};
pattern = 'test_*.m';
if numel(args) >= 3, pattern = args{3}; end
addpath(build_dir);
addpath(fullfile(src_dir, 'm'));
addpath(fullfile(src_dir, 'tests', 'octave'));
addpath(fullfile(src_dir, 'tests', 'octave', 'lib'));
warning('off', 'Octave:language-extension');

fprintf('module: %s\n', which('spardyn'));

global SPARDYN_TEST_STATE
SPARDYN_TEST_STATE = struct('passed', 0, 'failed', 0, 'file', '', 'failures', {{}});

files = sort(glob(fullfile(src_dir, 'tests', 'octave', pattern)));
for f = 1:numel(files)
  [~, name] = fileparts(files{f});
  SPARDYN_TEST_STATE.file = name;
  clear spardyn;   % each file starts with a freshly loaded module
  try
    feval(name);
  catch err
    record_result(false, sprintf('uncaught error: %s (%s)', err.message, err.identifier));
  end
end
s = SPARDYN_TEST_STATE;
for k = 1:numel(s.failures)
  fprintf('FAILED %s\n', s.failures{k});
end
fprintf('%d passed, %d failed\n', s.passed, s.failed);
if s.failed > 0
  exit(1);
end
