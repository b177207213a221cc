function test_registry()
% Handle numbering and lifecycle through "chandleset", "chandleget" and
% "chandleclear"; stored values are copies both ways; host functions called
% on a stored value.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  numbering_and_clearing();
  stored_values_are_copies();
  calling_a_function_on_a_value();
  refused_inputs();
  spardyn('chandleclear');
end

function numbering_and_clearing()
  K = sparse_description(speye(2));
  expect_equal(spardyn('chandleset', 1, K), 0, 'first number after load');
  expect_equal(spardyn('chandleset', 2, K), 1, 'second number');
  expect_equal(spardyn('chandleset', 3, K), 2, 'third number');
  expect_equal(spardyn('chandleget'), [0; 1; 2], 'list in ascending order');

  spardyn('chandleclear', 1);
  expect_equal(spardyn('chandleget'), [0; 2], 'one number cleared');
  expect_equal(spardyn('chandleset', 1, K), 3, 'a cleared number is not issued again');
  expect_error(@() spardyn('chandleget', 1), 'VRK:spardyn:NonHandle', ...
               'Handle does not exist', 'reading a cleared number');
  expect_equal(spardyn('chandleget'), [0; 2; 3], 'a failed read adds no entry');

  spardyn('chandleclear', 7);
  expect_equal(spardyn('chandleget'), [0; 2; 3], 'clearing an unused number changes nothing');
  spardyn('chandleclear', 4);  % the number the next registration receives
  expect_equal(spardyn('chandleset', 1, K), 4, 'clearing the next number leaves it to be issued');
  spardyn('chandleclear', 4);

  x = spardyn('chandleget', 2.9);
  expect_equal(x.pr, K.pr, '2.9 reads handle 2');
  spardyn('chandleclear', -1);
  expect_equal(spardyn('chandleget'), zeros(0, 1), '-1 clears everything');
  expect_equal(spardyn('chandleset', 2, K), 5, 'numbering continues after a clear');
  spardyn('chandleclear', zeros(0, 3));
  expect_equal(spardyn('chandleget'), zeros(0, 1), 'an input without rows clears everything');
  spardyn('chandleset', 2, K);
  spardyn('chandleclear');
  expect_equal(spardyn('chandleget'), zeros(0, 1), 'clear alone clears everything');

  clear spardyn;  % unload destroys what is still registered
  expect_equal(spardyn('chandleset', 1, K), 0, 'numbering restarts with a new load');
  spardyn('chandleclear');
end

function stored_values_are_copies()
  value = struct('pr', [1 2 3], 'name', 'stiff');
  h = spardyn('chandleset', 1, value);
  value.pr(2) = 99;
  got = spardyn('chandleget', h);
  expect_equal(got.pr, [1 2 3], 'changing the registered variable leaves the stored value');
  got.pr(1) = -5;
  again = spardyn('chandleget', h);
  expect_equal(again, struct('pr', [1 2 3], 'name', 'stiff'), ...
               'changing a read copy leaves the stored value');
  big = rand(200);
  h2 = spardyn('chandleset', 3, big);
  expect_equal(spardyn('chandleget', h2), big, 'a dense array round-trips');
  spardyn('chandleclear', h); spardyn('chandleclear', h2);

  % What the module writes into a stored value (here the diagonal marker of
  % a mass term) stays in its own copy, never in the variable registered.
  M = sparse_description(2 * speye(3));
  h = spardyn('chandleset', 2, M);
  r = zeros(3, 1);
  spardyn('residual', r, chandle(h), ones(3, 1), ones(3, 1), ones(3, 1));
  expect_equal(M.ir(1), int32(0), 'the registered variable keeps its row indices');
  stored = spardyn('chandleget', h);
  expect_equal(stored.ir(1), int32(-1), 'the stored copy carries the marker');
  spardyn('chandleclear', h);
  nested = struct('a', {1, 'x'}, 'b', {{1, int32([1 2])}, true}, 'z', complex([1 2], [3 4]));
  h = spardyn('chandleset', 1, nested);
  expect_equal(spardyn('chandleget', h), nested, 'structures, cells, text, logicals, complex round-trip');
  spardyn('chandleclear', h);
end

function calling_a_function_on_a_value()
  h = spardyn('chandleset', 1, [1 2 3]);
  expect_equal(spardyn('chandleget', @(x) x * 2, h), [2 4 6], ...
               'the stored value comes first');
  expect_equal(spardyn('chandleget', 'horzcat', h, 4, 5), [1 2 3 4 5], ...
               'further inputs follow the value, a function named by text');
  [m, i] = spardyn('chandleget', 'max', h);
  expect_equal([m i], [3 3], 'as many outputs as asked for');
  expect_equal(spardyn('chandleget', @(varargin) numel(varargin), h, 1, 2, 3, 4, 5, 6), 7, ...
               'nine inputs call the function');
  expect_error(@() spardyn('chandleget', @(varargin) 0, h, 1, 2, 3, 4, 5, 6, 7), ...
               'VRK:spardyn:WrongSize', 'varargin too large', 'ten inputs');
  expect_error(@() spardyn('chandleget', @(varargin) 0, 99, 1, 2, 3, 4, 5, 6, 7), ...
               'VRK:spardyn:NonHandle', 'Handle does not exist', ...
               'the number is looked up before the input count is checked');
  expect_error(@() spardyn('chandleget', @(x) error('my:id', 'inside'), h), ...
               'my:id', 'inside', 'an error of the function passes through');
  got = spardyn('chandleget', @(x) x, h);
  expect_equal(got, [1 2 3], 'the function received a copy');
  spardyn('chandleclear', h);
end

function refused_inputs()
  K = sparse_description(speye(2));
  first = spardyn('chandleset', 1, K);
  expect_error(@() spardyn('chandleset', 4, K), 'VRK:spardyn:NonHandle', ...
               'Not a valid chandle type', 'unknown type code');
  n = spardyn('chandleset', 1, K);
  expect_equal(n, first + 1, 'an unknown type code takes no number');
  spardyn('chandleclear', first);
  expect_error(@() spardyn('chandleset', 1, v_handle(K)), 'VRK:spardyn:NonHandle', ...
               'xxx', 'a v_handle value');
  expect_equal(spardyn('chandleset', 1, K), n + 2, 'the refused v_handle used up a number');
  expect_equal(spardyn('chandleget'), [n; n + 2], 'and registered nothing');
  expect_error(@() spardyn('chandleset', [], K), 'VRK:spardyn:empty', [], 'empty type code');
  expect_error(@() spardyn('chandleset', 'x', K), 'VRK:spardyn:Invalid', [], 'text type code');
  expect_error(@() spardyn('chandleget', []), 'VRK:spardyn:empty', [], 'empty number');
  expect_error(@() spardyn('chandleget', @(x) x, zeros(1, 0)), 'VRK:spardyn:empty', [], ...
               'empty number with a function');
  expect_error(@() spardyn('chandleclear', zeros(1, 0)), 'VRK:spardyn:empty', [], ...
               'a clear number with a row but no column');
  expect_error(@() spardyn('chandleget', NaN), 'VRK:spardyn:NonHandle', ...
               'Handle does not exist', 'NaN names no handle');
  expect_error(@() spardyn('chandleset', 1), 'VRK:spardyn:WrongSize', [], 'missing value');
  spardyn('chandleclear');
end
