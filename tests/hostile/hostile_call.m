function c = hostile_call(lib)
% HOSTILE_CALL  One randomly malformed call: a valid call of a command word
% drawn at random, then up to three mutations (drop, add, swap or retype an
% argument; replace, remove or add a field or element deep inside one;
% alias two arguments or an argument and a field).  The draws come from
% rand, seeded by the caller.
%
%   c.args   the arguments of spardyn (the command word first)
%   c.nout   the number of outputs to ask for (0 to 2)
%   c.what   a one-line description for the record of the run
  [args, word] = valid_call(lib);
  mutations = {};
  if rand() > 0.15
    for k = 1:randi(3)
      [args, m] = mutate(args, lib);
      mutations{end + 1} = m;
    end
  end
  c.args = args;
  c.nout = randi(3) - 1;
  c.what = sprintf('%s | %s | %s', word, strjoin(mutations, ', '), describe(args));
end

% --- valid calls ---------------------------------------------------------------

function [args, word] = valid_call(lib)
  n = lib.n;
  u = randn(n, 1); v = randn(n, 1); a = randn(n, 1);
  words = {'ismex', 'residual', 'residual', 'residual', 'chandleset', ...
           'chandleset', 'chandleget', 'chandleclear', 'chandlediagnewmark', ...
           'chandlediagnewmark', 'nlv1', 'setsparse', 'c<-a''*b', 'dtkt', 'abc', ...
           'ta''*k*tb', 'directzr', 'igsm', 'cvs', 'tbbp', 'tbbp', 'omp', 'unknown'};
  word = words{randi(numel(words))};
  switch word
    case 'residual'
      r = zeros(n, 1);
      switch randi(7)
        case 1
          model = hostile_fresh({lib.M, lib.C, lib.K});
        case 2
          model = struct('K', {hostile_fresh({lib.M, lib.modal, lib.K})}, 'FNL', zeros(4, 1));
        case 3
          model = registered_vector(lib);
        case 4
          model = registered_vector(lib);
          r = buffer(n, lib);
        case {5, 6}
          % The model's "NL" list: entries whose force a host function gives.
          model = struct('K', {hostile_fresh({lib.M, lib.C, lib.K})}, 'FNL', zeros(4, 1));
          model.NL = cell(0, 3);
          for k = 1:randi(2)
            model = nl_list_add(model, nl_entry(lib));
          end
          if rand() < 0.3, r = buffer(n, lib); end
        otherwise
          model = hostile_fresh({lib.M, lib.C, lib.K});
          r = buffer(n, lib);
      end
      opt = pick({[0.1 0.2], struct('Rayleigh', [0.1 0], 'tc', 1e-3), [], struct()});
      args = {'residual', r, model, u, v, a, opt};
    case 'chandleset'
      type = pick({1, 2, 3, 1003, 2000, 4, -1});
      switch type
        case 1003, value = hostile_fresh(pick(lib.terms));
        case 2000, value = hostile_fresh(lib.stepper);
        otherwise, value = hostile_fresh(pick({lib.K, lib.M, lib.C, lib.Kt}));
      end
      args = {'chandleset', type, value};
    case 'chandleget'
      h = some_number(lib);
      switch randi(3)
        case 1, args = {'chandleget'};
        case 2, args = {'chandleget', h};
        otherwise
          fn = pick({@(s) s, @(s, varargin) numel(varargin), @callback_clear_all, ...
                     @callback_clear_one, @callback_error, @callback_register, ...
                     @callback_residual, 'numel', 'class'});
          args = [{'chandleget', fn, h}, num2cell(randn(1, randi(8) - 1))];
      end
    case 'chandleclear'
      args = [{'chandleclear'}, pick({{}, {some_number(lib)}, {-1}, {[]}, {zeros(0, 3)}})];
    case 'chandlediagnewmark'
      sim = hostile_fresh(pick(lib.sims));
      handles = sim.handles;
      if rand() < 0.3, handles = registered_copy(handles); end
      args = {'chandlediagnewmark', handles, sim.model, sim.u, sim.v, sim.a, ...
              sim.rayleigh, sim.out, sim.store};
    case 'nlv1'
      args = {'nlv1', hostile_fresh(pick(lib.terms))};
    case 'setsparse'
      s = hostile_fresh(lib.K);
      args = {'setsparse', s, s.ir(end:-1:1) + 0, [], s.pr * 2};
    case 'c<-a''*b'
      A = randn(n, 2);
      if rand() < 0.5
        args = {'c<-a''*b', A, hostile_fresh(lib.K)};
      else
        args = {'c<-a''*b', A, hostile_fresh(lib.K), zeros(2, n)};
      end
    case 'dtkt'
      args = {'dtkt', zeros(n, randi(2) - 1), lib.Ksp};
    case 'abc'
      args = {'abc', randn(n, 2), hostile_fresh(lib.K), randn(n, 3) + 1i * (rand() < 0.5), ...
              int32([1 0 0])};
    case 'ta''*k*tb'
      args = {'ta''*k*tb', ones(n, 1), lib.Ksp, ones(n, 1)};
    case 'directzr'
      args = {'directzr', ones(2) + 1i, 1, ones(2) * 1i, ones(3)};
    case 'igsm'
      args = {'igsm', zeros(n, randi(2) - 1), lib.Ksp};
    case 'tbbp'
      args = {'tbbp', hostile_fresh(pick({lib.K, lib.Kt})), u, zeros(n, 1)};
    case 'unknown'
      args = {pick({'Residual', 'residual ', 'chandle', '', 'tbbp2', 'c<-a*b'})};
    otherwise
      args = {word};
  end
end

% An entry of a model's "NL" list: observes two DOFs, injects into them; its
% force function may misbehave (clear the registry, release the buffers
% objects share, raise an error, return what is no force) and its arrays
% may be objects sharing buffers.
function S = nl_entry(lib)
  n = lib.n;
  C = sparse([1 2], [2 3], [1 -1], 2, n);
  force = pick({@force_spring, @force_nothing, @force_clear_all, @force_release, ...
                @force_error, @force_garbage, 'nl_spring', 'mocirc2'});
  S = nl_force_entry(C, C, force, 'fnl', pick({0, 1, 4}));
  S.k = [10; 20];
  if rand() < 0.3, S.unl = buffer_object(address(2, lib)); end
  if rand() < 0.3, S.snl = buffer_object(address(2, lib)); end
end

% A handle vector of registered terms (registered here when missing).
function h = registered_vector(lib)
  kinds = {{2, lib.M}, {3, lib.C}, {1, lib.K}, {1003, pick(lib.terms(1:3))}};
  numbers = [];
  for k = 1:randi(numel(kinds))
    kind = kinds{k};
    numbers(end + 1) = spardyn('chandleset', kind{1}, kind{2});
  end
  h = chandle(numbers);
end

% The same run with its handles registered: a chandle vector.
function h = registered_copy(handles)
  numbers = zeros(1, numel(handles));
  for k = 1:numel(handles)
    numbers(k) = spardyn('chandleset', handles{k}.type, handles{k});
  end
  h = chandle(numbers);
end

% A handle number: registered, cleared, never issued, or not one.
function h = some_number(lib)
  list = spardyn('chandleget');
  switch randi(4)
    case 1
      if isempty(list), h = 0; else, h = list(randi(numel(list))); end
    case 2
      h = max([list; 0]) + randi(3);
    otherwise
      h = pick({0, -1, -2, NaN, Inf, 2^31, 1.9, 1e10, int8(1), 'a', [], {1}});
  end
end

% A residual vector given as an object sharing its buffer.
function r = buffer(n, lib)
  r = buffer_object(address(n, lib));
end

% An address for a buffer of n values: a fixture buffer of n values (valid),
% shorter, released or read-only; or values that name no buffer.
function addr = address(n, lib)
  k = randi(12);
  if ~lib.fixture, k = 7 + mod(k, 6); end
  slot = randi(8);
  switch k
    case 1, addr = buffer_fixture('new', n, slot);
    case 2, addr = buffer_fixture('new', n, slot);
    case 3, addr = buffer_fixture('new', max(n - randi(n), 0), slot);
    case 4, addr = buffer_fixture('new', n, slot); buffer_fixture('free', slot);
    case 5, addr = buffer_fixture('new', n, slot); buffer_fixture('readonly', slot);
    case 6, addr = buffer_fixture('new', n, slot) + 4;
    case 7, addr = 1.1e12;
    case 8, addr = uint64(1.1e12);
    case 9, addr = pick({uint64(0), uint64(8), uint64(4096), uint64(2^47 - 8), uint64(2^63)});
    case 10, addr = typecast(uint8(randi(256, 1, 8) - 1), 'double');
    case 11, addr = pick({uint8(1:8), int32(7), 'abcdefgh', [], {}});
    otherwise, addr = typecast(uint64(2)^62 + uint64(randi(1e6)) * 8, 'double');
  end
end

% --- host functions called back by "chandleget" -------------------------------

function s = callback_clear_all(s, varargin)
  spardyn('chandleclear');
end

function s = callback_clear_one(s, varargin)
  list = spardyn('chandleget');
  if ~isempty(list), spardyn('chandleclear', list(1)); end
end

function s = callback_error(s, varargin)
  error('hostile:callback', 'an error inside a call-back');
end

function s = callback_register(s, varargin)
  spardyn('chandleset', 1, s);
end

function s = callback_residual(s, varargin)
  r = zeros(6, 1);
  spardyn('residual', r, {s, s, s}, ones(6, 1), ones(6, 1), ones(6, 1));
end

% --- force functions of "NL" entries --------------------------------------------

function f = force_spring(S, varargin)
  f = S.k .* reshape(S.unl(1:2), [], 1);
end

function varargout = force_nothing(varargin)
  varargout = {};
end

function f = force_clear_all(S, varargin)
  spardyn('chandleclear');
  f = [1; 2];
end

function varargout = force_release(varargin)
  if exist('buffer_fixture') == 3, buffer_fixture('free'); end
  varargout = {};
end

function f = force_error(varargin)
  error('hostile:force', 'an error inside a force function');
end

function f = force_garbage(varargin)
  f = pick({[], 'abc', {1}, sparse(2, 1), [1 + 2i; 3], NaN(2, 1), struct('snl', 1), ...
            buffer_object(1.1e12), int32([1; 2])});
end

% --- mutations -----------------------------------------------------------------

function [args, what] = mutate(args, lib)
  n = numel(args);
  if n == 0
    args = {hostile_value(lib)};
    what = 'add 1';
    return;
  end
  k = randi(n);
  switch randi(8)
    case 1  % drop an argument
      if n > 1, k = 1 + randi(n - 1); end
      args(k) = [];
      what = sprintf('drop %d', k);
    case 2  % add one
      args{end + 1} = hostile_value(lib);
      what = sprintf('add %d', numel(args));
    case 3  % swap two
      j = randi(n);
      [args{k}, args{j}] = deal(args{j}, args{k});
      what = sprintf('swap %d %d', k, j);
    case 4  % the command word itself
      w = args{1};
      if ~ischar(w) || rows(w) > 1, w = 'tbbp'; end
      args{1} = pick({hostile_value(lib), upper(w), [w ' '], [w char(0) 'x'], double(w)});
      what = 'word';
    case {5, 6}  % deep inside one argument
      if n > 1, k = 1 + randi(n - 1); end
      [args{k}, inner] = mutate_inside(args{k}, lib);
      what = sprintf('inside %d%s', k, inner);
    case 7  % alias: one argument (or one field of it) is another
      if n > 2
        j = 1 + randi(n - 1); k = 1 + randi(n - 1);
        if isstruct(args{k}) && ~isempty(fieldnames(args{k})) && numel(args{k}) > 0
          f = fieldnames(args{k}); f = f{randi(numel(f))};
          args{k}(1).(f) = args{j};
          what = sprintf('alias %d.%s = %d', k, f, j);
        else
          args{k} = args{j};
          what = sprintf('alias %d = %d', k, j);
        end
      else
        what = 'alias (none)';
      end
    otherwise  % retype an argument
      if n > 1, k = 1 + randi(n - 1); end
      args{k} = hostile_value(lib);
      what = sprintf('retype %d', k);
  end
end

% Replaces, removes or adds a field of a structure (or an element of a cell),
% descending at random; other values are replaced.
function [x, what] = mutate_inside(x, lib)
  if isstruct(x) && numel(x) > 0
    f = fieldnames(x);
    if isempty(f) || rand() < 0.15
      name = pick({'pr', 'ir', 'jc', 'dims', 'trans', 'unl', 'vnl', 'snl', ...
                   'opt', 'iopt', 'type', 'FNL', 'K', 'NL', 'uva', 'def', 'data', 'extra'});
      x(1).(name) = hostile_value(lib);
      what = ['.' name '+'];
      return;
    end
    name = f{randi(numel(f))};
    switch randi(4)
      case 1
        x = rmfield(x, name);
        what = ['.' name '-'];
      case 2
        [x(1).(name), inner] = mutate_inside(x(1).(name), lib);
        what = ['.' name inner];
      otherwise
        x(1).(name) = hostile_value(lib);
        what = ['.' name '='];
    end
  elseif iscell(x) && numel(x) > 0
    k = randi(numel(x));
    if rand() < 0.5
      [x{k}, inner] = mutate_inside(x{k}, lib);
      what = sprintf('{%d}%s', k, inner);
    else
      x{k} = hostile_value(lib);
      what = sprintf('{%d}=', k);
    end
  elseif isnumeric(x) && numel(x) > 0 && ~issparse(x) && rand() < 0.5
    k = randi(numel(x));
    x(k) = pick({NaN, Inf, -Inf, -1, 0, 2^31, -2^31 - 1, 1e308, 0.5, 7});
    what = sprintf('(%d)#', k);
  else
    x = hostile_value(lib);
    what = '=';
  end
end

% --- description of a call -----------------------------------------------------

function s = describe(args)
  parts = cell(1, numel(args));
  for k = 1:numel(args)
    x = args{k};
    if ischar(x) && rows(x) <= 1
      x(x < 32) = '?';  % the record is a text file
      parts{k} = ['''' x ''''];
    else
      d = sprintf('%dx', size(x));
      parts{k} = sprintf('%s%s%s', class(x), ...
                         ifelse(issparse(x), ' sparse', ''), ...
                         [' ' d(1:end - 1)]);
      if isstruct(x) && numel(x) > 0
        parts{k} = [parts{k} ' {' strjoin(fieldnames(x).', ',') '}'];
      elseif isa(x, 'buffer_object')
        parts{k} = [parts{k} ' (c: ' class(x.c) ' ' address_text(x.c) ')'];
      end
    end
  end
  s = strjoin(parts, '; ');
end

% The first 8 bytes of a property "c" as the module reads them.
function s = address_text(c)
  if isfloat(c) && numel(c) > 0
    s = ['0x' dec2hex(typecast(double(c(1)), 'uint64'))];
  elseif isinteger(c) && numel(c) > 0
    s = sprintf('%d', c(1));
  else
    s = '-';
  end
end

function y = ifelse(c, a, b)
  if c, y = a; else, y = b; end
end

function x = pick(list)
  x = list{randi(numel(list))};
end
