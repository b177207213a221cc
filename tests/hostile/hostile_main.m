% Runs calls of the hostile run in this Octave process:
%
%   octave-cli tests/hostile/hostile_main.m <build dir> <source dir> <seed> <first> <count> [progress file]
%
% tools/hostile.sh drives it: it restarts Octave after a crash and counts.
args = argv();
if numel(args) < 5
  error('usage: hostile_main.m <build dir> <source dir> <seed> <first> <count> [progress file]');
end
addpath(args{1});
addpath(fullfile(args{2}, 'm'));
addpath(fullfile(args{2}, 'tests', 'octave', 'lib'));
addpath(fullfile(args{2}, 'tests', 'hostile'));
warning('off', 'all');
progress = '';
if numel(args) >= 6, progress = args{6}; end
hostile_run(str2double(args{3}), str2double(args{4}), str2double(args{5}), progress);
