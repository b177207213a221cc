function totals = hostile_run(seed, first, count, progress)
% HOSTILE_RUN  Calls first … first+count−1 of the hostile run of this seed:
% each a valid call of a command word mutated at random (hostile_call),
% drawn from a generator seeded by the seed and the call's number, so a
% call is drawn the same whatever ran before it.  After every call the
% module must still answer and its registry be consistent: numbers listed
% in ascending order, each readable, and a number once cleared never listed
% again (new numbers are above every number seen before).
%
% progress, when given, names a file that receives "<call> <description>"
% before each call and "done" at the end: after a crash, its last line names
% the call that crashed.  Prints one line:
%   calls=… survived=… crashes=0 refused=… accepted=… inconsistent=…
% (a crash ends the process; tools/hostile.sh counts it and goes on).
  spardyn('chandleclear');
  lib = hostile_library();
  fid = -1;
  if nargin > 3 && ~isempty(progress)
    fid = fopen(progress, 'w');
  end
  totals = struct('calls', 0, 'refused', 0, 'accepted', 0, 'inconsistent', 0);
  seen = -1;
  for i = first:first + count - 1
    rand('twister', mod(seed * 1000003 + i, 2^32));
    randn('twister', mod(seed * 1000033 + i, 2^32));
    c = hostile_call(lib);
    if fid >= 0
      fprintf(fid, '%d %s\n', i, c.what);
      fflush(fid);
    end
    try
      out = cell(1, c.nout);
      if c.nout == 0
        spardyn(c.args{:});
      else
        [out{:}] = spardyn(c.args{:});
      end
      totals.accepted += 1;
    catch
      totals.refused += 1;
    end
    [problem, seen] = registry_problem(seen);
    if ~isempty(problem)
      totals.inconsistent += 1;
      printf('inconsistent after call %d (%s): %s\n', i, c.what, problem);
    end
    totals.calls += 1;
  end
  if fid >= 0
    fprintf(fid, 'done\n');
    fclose(fid);
  end
  buffer_fixture_free(lib);
  printf('calls=%d survived=%d crashes=0 refused=%d accepted=%d inconsistent=%d\n', ...
         totals.calls, totals.calls, totals.refused, totals.accepted, totals.inconsistent);
end

% The module answers, and its registry is consistent; the registry is kept
% small (cleared beyond 16 objects) so that checking it stays cheap.
function [problem, seen] = registry_problem(seen)
  problem = '';
  if spardyn() ~= 1.0001
    problem = 'the version query no longer answers';
    return;
  end
  list = spardyn('chandleget');
  if ~isempty(list) && (~iscolumn(list) || any(list ~= fix(list)) || any(list < 0))
    problem = 'the list is not a column of numbers from 0 up';
  elseif any(diff(list) <= 0)
    problem = 'the list is not in ascending order';
  else
    fresh = list(list > seen);
    known = list(list <= seen);
    for k = 1:numel(list)
      try
        spardyn('chandleget', list(k));
      catch err
        problem = sprintf('listed number %d cannot be read: %s', list(k), err.message);
        return;
      end
    end
    if ~isempty(fresh), seen = max(fresh); end
    % A number at or below the highest seen must have been listed before;
    % the caller cannot tell which, so the count of such numbers can only
    % fall between two checks.
    persistent lastKnown
    if isempty(lastKnown), lastKnown = []; end
    if any(~ismember(known, lastKnown))
      problem = sprintf('number %d listed again after it was gone', ...
                        known(find(~ismember(known, lastKnown), 1)));
    end
    lastKnown = list;
  end
  if numel(list) > 16
    spardyn('chandleclear');
  end
end

function buffer_fixture_free(lib)
  if lib.fixture
    buffer_fixture('free');
  end
end
