% Allocations made by one "residual" call, counted by heaptrack: the script
% is run twice per form with different numbers of calls, and the difference
% of the allocation counts is divided by the difference of the calls.
% "nlv1" with the same inputs is the baseline: what Octave itself allocates
% to pass those inputs to any MEX call.
%
%   octave-cli bench/residual_allocations.m [build dir]
%
% The counted runs execute this script again with the arguments
% "<build dir> <form> <calls>" under heaptrack.
here = fileparts(mfilename('fullpath'));
root = fullfile(here, '..');
args = argv();
build_dir = fullfile(root, 'build');
if numel(args) >= 1, build_dir = args{1}; end
addpath(build_dir, fullfile(root, 'm'), here);

if numel(args) >= 3        % a counted run
  form = args{2}; calls = str2double(args{3});
  K = stencil7(20); n = rows(K); M = 0.1 * abs(K); C = 0.02 * K + 0.05 * M;
  mats = {sparse_description(M), sparse_description(C), sparse_description(K)};
  u = rand(n, 1); v = rand(n, 1); a = rand(n, 1); r = zeros(n, 1);
  h = [chandle(spardyn('chandleset', 2, mats{1})) ...
       chandle(spardyn('chandleset', 3, mats{2})) ...
       chandle(spardyn('chandleset', 1, mats{3}))];
  for k = 1:calls
    switch form
      case 'nlv1',    spardyn('nlv1', r, mats, u, v, a, [0.1 0.2]);
      case 'matrix',  spardyn('residual', r, mats, u, v, a, [0.1 0.2]);
      case 'handles', spardyn('residual', r, h, u, v, a, [0.1 0.2]);
      case 'remi',    for e = 1:3, remi(h, e); end
    end
  end
  return;
end

if system('command -v heaptrack >/dev/null') ~= 0
  error('heaptrack is needed (apt-get install heaptrack)');
end
self = [mfilename('fullpath') '.m'];
function count = allocations(self, build_dir, form, calls)
  out = tempname();
  cmd = sprintf('heaptrack -o %s octave-cli --norc --quiet %s %s %s %d >/dev/null 2>&1', ...
                out, self, build_dir, form, calls);
  system(cmd);
  f = dir([out '*']);
  [~, text] = system(sprintf('heaptrack_print -f %s 2>/dev/null | grep "^calls to allocation functions"', ...
                             fullfile(fileparts(out), f(1).name)));
  delete(fullfile(fileparts(out), f(1).name));
  count = sscanf(text, 'calls to allocation functions: %d');
end
few = 10; many = 1010;
per_call = struct();
for form = {'nlv1', 'matrix', 'handles', 'remi'}
  c0 = allocations(self, build_dir, form{1}, few);
  c1 = allocations(self, build_dir, form{1}, many);
  per_call.(form{1}) = (c1 - c0) / (many - few);
end
printf('allocations per call (8000-DOF stencil model, heaptrack):\n');
printf('  Octave passing the inputs (nlv1)  : %6.1f\n', per_call.nlv1);
printf('  residual, matrix mode             : %6.1f  (%+.1f over nlv1)\n', per_call.matrix, per_call.matrix - per_call.nlv1);
printf('  residual, handle mode (3 chandles): %6.1f  (%+.1f over nlv1)\n', per_call.handles, per_call.handles - per_call.nlv1);
printf('  of which Octave running remi 3x   : %6.1f\n', per_call.remi);
