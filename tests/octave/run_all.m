% Runs every tests/octave/test_*.m against the module in the build directory
% and prints "N passed, N failed".
%
%   octave-cli tests/octave/run_all.m <module dir> <source dir> [pattern] [flavour]
%
% The module dir may be a list of directories separated by ':', searched in
% that order: the module's folder first, then the folder of the test
% fixtures (build-win32:build tests the Windows x86 flavour, build/classic:
% build the module built against the classic array interface).  flavour
% (linux64, win64 or win32; default linux64) names the module under test:
% files test_<flavour>_*.m run only for their flavour, and the shared files
% ask flavor() where a case differs.
args = argv();
if numel(args) < 2
  error('usage: run_all.m <module dir> <source dir> [pattern] [flavour]');
end
build_dir = args{1}; src_dir = args{2};
pattern = 'test_*.m';
if numel(args) >= 3, pattern = args{3}; end
flavors = {'linux64', 'win64', 'win32'};
this_flavor = 'linux64';
if numel(args) >= 4, this_flavor = args{4}; end
if ~any(strcmp(this_flavor, flavors))
  error('run_all.m: flavour must be one of %s, not %s', strjoin(flavors, ', '), this_flavor);
end
addpath(build_dir);
addpath(fullfile(src_dir, 'm'));
addpath(fullfile(src_dir, 'tests', 'octave'));
addpath(fullfile(src_dir, 'tests', 'octave', 'lib'));
warning('off', 'Octave:language-extension');

fprintf('module: %s (flavour %s)\n', which('spardyn'), this_flavor);

global SPARDYN_TEST_STATE SPARDYN_TEST_FLAVOR
SPARDYN_TEST_FLAVOR = this_flavor;
SPARDYN_TEST_STATE = struct('passed', 0, 'failed', 0, 'file', '', 'failures', {{}}, ...
                            'skipped', {{}});

files = sort(glob(fullfile(src_dir, 'tests', 'octave', pattern)));
for f = 1:numel(files)
  [~, name] = fileparts(files{f});
  other = setdiff(flavors, {this_flavor});
  if any(cellfun(@(o) strncmp(name, ['test_' o '_'], numel(o) + 6), other))
    continue;   % another flavour's own tests
  end
  SPARDYN_TEST_STATE.file = name;
  clear spardyn;   % each file starts with a freshly loaded module
  try
    feval(name);
  catch err
    record_result(false, sprintf('uncaught error: %s (%s)', err.message, err.identifier));
  end
end
s = SPARDYN_TEST_STATE;
for k = 1:numel(s.skipped)
  fprintf('skipped %s\n', s.skipped{k});
end
for k = 1:numel(s.failures)
  fprintf('FAILED %s\n', s.failures{k});
end
fprintf('%d passed, %d failed\n', s.passed, s.failed);
if s.failed > 0
  exit(1);
end
