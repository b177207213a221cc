function test_algebra()
% In-place sparse update, the transposed product a.'*b and the projection
% TA.'*K*TB, against Octave's own sparse algebra.
  setsparse_updates_every_sharing_variable();
  setsparse_refuses_before_writing();
  atb_matches_octave();
  atb_writes_into_its_target();
  atb_refuses_bad_operands();
  abc_matches_octave();
  abc_refuses_in_order();
end

function K = test_matrix(m, n, seed)
% A sparse m x n matrix with a diagonal band and scattered entries.
  rand('seed', seed);
  K = sprand(m, n, 0.2) + speye(m, n) * 3;
end

% --- setsparse ---------------------------------------------------------------

function setsparse_updates_every_sharing_variable()
  K = test_matrix(6, 6, 1);
  s = sparse_description(K);
  t = s;            % shares every field's data with s
  pr = s.pr;        % shares the values only
  ir = s.ir;
  newIr = s.ir(end:-1:1) + 0;    % same length, reversed
  newPr = 2 * s.pr + 1;
  spardyn('setsparse', s, newIr, 'not read', newPr);
  expect_equal(s.ir, newIr, 'setsparse: ir replaced');
  expect_equal(s.pr, newPr, 'setsparse: pr replaced');
  expect_equal(t.ir, newIr, 'setsparse: a copy of the structure sees new ir');
  expect_equal(t.pr, newPr, 'setsparse: a copy of the structure sees new pr');
  expect_equal(pr, newPr, 'setsparse: a variable holding pr sees the values');
  expect_equal(ir, newIr, 'setsparse: a variable holding ir sees the indices');
  expect_equal(s.jc, sparse_description(K).jc, 'setsparse: jc untouched');

  % Shorter arrays overwrite the start only.
  s = sparse_description(K);
  before = s.pr + 0;
  spardyn('setsparse', s, int32([]), [], [7; 8]);
  expect_equal(s.pr, [7; 8; before(3:end)], 'setsparse: only the first values');

  % Row indices of another class are not taken; the values still are.
  s = sparse_description(K);
  ir0 = s.ir + 0;
  spardyn('setsparse', s, double(s.ir) + 1, [], s.pr * 0 + 5);
  expect_equal(s.ir, ir0, 'setsparse: double row indices ignored');
  expect_equal(s.pr, 5 * ones(size(ir0)), 'setsparse: values copied anyway');

  % Two inputs, or the description's own arrays, change nothing; the
  % refreshed matrix serves the products.
  s = sparse_description(K);
  spardyn('setsparse', s);
  spardyn('setsparse', s, s.ir, [], s.pr);
  expect_equal(s, sparse_description(K), 'setsparse: nothing to copy');
  K2 = K; K2(K2 ~= 0) = 1:nnz(K);      % same pattern, new values
  spardyn('setsparse', s, [], [], nonzeros(K2));
  a = (1:6).' * [1 -1];
  expect_near(spardyn('c<-a''*b', a, s), a.' * K2, 1e-14, ...
              'setsparse: products see the new values');
end

function setsparse_refuses_before_writing()
  K = test_matrix(5, 5, 2);
  s = sparse_description(K);
  ir0 = s.ir + 0; pr0 = s.pr + 0;
  n = numel(s.pr);
  expect_error(@() spardyn('setsparse', s, int32(zeros(n + 1, 1)), [], pr0 * 2), ...
               'VRK:spardyn:WrongSize', ...
               sprintf('spardyn setsparse : %d row indices given, "ir" holds %d', n + 1, n), ...
               'setsparse: too many row indices');
  expect_error(@() spardyn('setsparse', s, ir0(end:-1:1), [], zeros(n + 1, 1)), ...
               'VRK:spardyn:WrongSize', ...
               sprintf('spardyn setsparse : %d values given, "pr" holds %d', n + 1, n), ...
               'setsparse: too many values');
  expect_equal(s.ir, ir0, 'setsparse: refused call leaves ir');
  expect_equal(s.pr, pr0, 'setsparse: refused call leaves pr');

  expect_error(@() spardyn('setsparse', full(K), int32(1)), 'VRK:spardyn:Invalid', ...
               'spardyn setsparse : a sparse description (fields "ir", "jc", "pr") is required', ...
               'setsparse: dense matrix');
  expect_error(@() spardyn('setsparse', rmfield(s, 'ir'), [], [], 1), 'VRK:spardyn:Invalid', ...
               'spardyn setsparse : a sparse description (fields "ir", "jc", "pr") is required', ...
               'setsparse: description without ir');
  expect_error(@() spardyn('setsparse', s, [], [], int32(pr0)), 'VRK:spardyn:Invalid', ...
               'spardyn setsparse : the new values must be a real full double array, not int32', ...
               'setsparse: int32 values');
  expect_error(@() spardyn('setsparse', s, [], [], sparse(pr0)), 'VRK:spardyn:Invalid', ...
               'spardyn setsparse : the new values must be a real full double array, not sparse', ...
               'setsparse: sparse values');
  expect_error(@() spardyn('setsparse', K), '', 'ir must be int32', 'setsparse: host sparse');
  expect_error(@() spardyn('setsparse'), 'VRK:spardyn:WrongSize', ...
               'spardyn setsparse : 1 arguments expected, 0 given', 'setsparse: no matrix');
  expect_equal(s.pr, pr0, 'setsparse: refused calls leave pr');
end

% --- c<-a'*b -------------------------------------------------------------------

function atb_matches_octave()
  a = [1 4; 2 5; 3 6];
  b = sparse([1 0 0 2; 0 3 0 0; 0 0 0 4]);
  expect_equal(spardyn('c<-a''*b', a, sparse_description(b)), full(a.' * b), ...
               'c<-a''*b: 3x2 a, 3x4 b');
  % The same stored array marked transposed is M = b.' (4 x 3): (M*a).'
  expect_equal(spardyn('c<-a''*b', a, sparse_description(b.', true)), full(a.' * b), ...
               'c<-a''*b: transposed storage gives (M*a).''');
  expect_equal(spardyn('c<-a''*b', a, v_handle(sparse_description(b))), full(a.' * b), ...
               'c<-a''*b: through a v_handle');

  K = test_matrix(300, 280, 3);
  for na = [1 16 17 50]
    rand('seed', na); A = rand(300, na) - 0.5;
    expect_near(spardyn('c<-a''*b', A, sparse_description(K)), full(A.' * K), 1e-13, ...
                sprintf('c<-a''*b: %d columns against a.''*B', na));
    expect_near(spardyn('c<-a''*b', A(1:280, :), sparse_description(K, true)), ...
                full(K * A(1:280, :)).', 1e-13, ...
                sprintf('c<-a''*b: %d columns, transposed storage', na));
  end
  expect_equal(spardyn('c<-a''*b', zeros(300, 0), sparse_description(K)), zeros(0, 280), ...
               'c<-a''*b: a without columns');
  expect_equal(spardyn('c<-a''*b', zeros(0, 2), sparse_description(sparse(0, 3))), ...
               zeros(2, 3), 'c<-a''*b: a without rows');
  expect_equal(spardyn('c<-a''*b', ones(3, 2), sparse_description(sparse(3, 4))), ...
               zeros(2, 4), 'c<-a''*b: b without entries');
end

function atb_writes_into_its_target()
  a = [1 4; 2 5; 3 6];
  b = sparse([1 0 0 2; 0 3 0 0; 0 0 0 4]);
  s = sparse_description(b);
  c = NaN(2, 4);
  shared = c;
  spardyn('c<-a''*b', a, s, c);
  expect_equal(c, full(a.' * b), 'c<-a''*b: prefilled target holds the product');
  expect_equal(shared, full(a.' * b), 'c<-a''*b: written in place');
  expect_equal(nargout_of(@() spardyn('c<-a''*b', a, s, zeros(2, 4))), 0, ...
               'c<-a''*b: no output with a target');

  big = -ones(11, 1);
  spardyn('c<-a''*b', a, s, big);
  expect_equal(big, [reshape(full(a.' * b), [], 1); -1; -1; -1], ...
               'c<-a''*b: a larger target keeps its tail');

  % Only exactly four inputs name a target.
  t = zeros(2, 4);
  expect_equal(spardyn('c<-a''*b', a, s, t, 'extra'), full(a.' * b), ...
               'c<-a''*b: five inputs return the product');
  expect_equal(t, zeros(2, 4), 'c<-a''*b: five inputs leave input 4');
end

function n = nargout_of(fn)
% Number of values fn leaves: 0 when asking for one fails.
  try
    x = fn(); %#ok<NASGU>
    n = 1;
  catch
    n = 0;
  end
end

function atb_refuses_bad_operands()
  b = sparse([1 0 0 2; 0 3 0 0; 0 0 0 4]);
  s = sparse_description(b);
  a = [1 4; 2 5; 3 6];
  msg = 'spardyn c<-a''*b : vector a has a wrong size';
  if ~strcmp(flavor(), 'win32')  % no identifier there: test_win32_commands.m
    expect_error(@() spardyn('c<-a''*b', ones(4, 2), s), 'VRK:spardyn:WrongSize', msg, ...
                 'c<-a''*b: wrong height, not transposed');
  end
  expect_error(@() spardyn('c<-a''*b', ones(4, 2), sparse_description(b.', true)), '', msg, ...
               'c<-a''*b: wrong height, transposed');
  expect_error(@() spardyn('c<-a''*b', complex(a, 1), s), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : a must be a real full double array, not complex', 'c<-a''*b: complex a');
  expect_error(@() spardyn('c<-a''*b', sparse(a), s), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : a must be a real full double array, not sparse', ...
               'c<-a''*b: sparse a');
  expect_error(@() spardyn('c<-a''*b', a, full(b)), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : b: sparse storage expected (field "ir")', ...
               'c<-a''*b: dense b');
  expect_error(@() spardyn('c<-a''*b', a, b), '', 'ir must be int32', 'c<-a''*b: host sparse b');
  bad = s; bad.ir(2) = int32(3);
  expect_error(@() spardyn('c<-a''*b', a, bad), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : b: row index outside [0, 3)', 'c<-a''*b: row index past the rows');

  expect_error(@() spardyn('c<-a''*b', a, s, zeros(2, 3)), 'VRK:spardyn:WrongSize', ...
               'spardyn c<-a''*b : the target c holds 6 values, the 2x4 product needs 8', ...
               'c<-a''*b: target too small');
  expect_error(@() spardyn('c<-a''*b', a, s, complex(zeros(2, 4), 1)), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : the target c must be a real full double array, not complex', 'c<-a''*b: complex target');
  expect_error(@() spardyn('c<-a''*b', a, s, sparse(2, 4)), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : the target c must be a real full double array, not sparse', ...
               'c<-a''*b: sparse target');
  sq = sparse_description(test_matrix(4, 4, 4));
  x = ones(4, 4);
  expect_error(@() spardyn('c<-a''*b', x, sq, x), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : the target c shares its data with a or b', ...
               'c<-a''*b: target is a');
  expect_equal(x, ones(4, 4), 'c<-a''*b: refused target untouched');
  expect_error(@() spardyn('c<-a''*b', a), 'VRK:spardyn:WrongSize', ...
               'spardyn c<-a''*b : 2 arguments expected, 1 given', 'c<-a''*b: no b');
end

% --- abc -------------------------------------------------------------------------

function abc_matches_octave()
  opt = int32([1 0 0]);
  K = test_matrix(40, 40, 5);               % not symmetric
  s = sparse_description(K);
  I = eye(40);
  expect_near(spardyn('abc', I, s, I, opt), full(K), 1e-15, 'abc: identity bases give K');

  rand('seed', 6);
  TA = rand(40, 3) - 0.5; TB = rand(40, 20) - 0.5;
  IA = rand(40, 3) - 0.5; IB = rand(40, 20) - 0.5;
  r = spardyn('abc', TA, s, TB, opt);
  expect_true(isreal(r), 'abc: real bases give a real result');
  expect_near(r, TA.' * K * TB, 1e-13, 'abc: real bases');
  r = spardyn('abc', TA, s, complex(TB, IB), opt);
  expect_near(imag(r), TA.' * K * IB, 1e-13, 'abc: imaginary part is TA.''*K*imag(TB)');
  expect_near(r, TA.' * K * complex(TB, IB), 1e-13, 'abc: real TA, complex TB');
  expect_near(spardyn('abc', complex(TA, IA), s, TB, opt), complex(TA, IA).' * K * TB, ...
              1e-13, 'abc: complex TA, real TB');
  expect_near(spardyn('abc', complex(TA, IA), s, complex(TB, IB), opt), ...
              complex(TA, IA).' * K * complex(TB, IB), 1e-13, ...
              'abc: complex bases, transposed without conjugation');

  % A rectangular k ties TA to its rows and TB to its columns.
  R = test_matrix(30, 45, 7);
  rand('seed', 8);
  A = rand(30, 2) + 1i * rand(30, 2); B = rand(45, 3);
  r = spardyn('abc', A, sparse_description(R), B, opt);
  expect_equal(size(r), [2 3], 'abc: 2 x 3 result');
  expect_near(r, A.' * R * B, 1e-13, 'abc: rectangular k');
  % In transposed storage the stored array is taken as k as it stands.
  expect_near(spardyn('abc', TA, sparse_description(K, true), TB, opt), TA.' * K.' * TB, ...
              1e-13, 'abc: a square k in transposed storage is used as stored');

  expect_equal(spardyn('abc', zeros(40, 0), s, TB, opt), zeros(0, 20), 'abc: TA without columns');
  expect_equal(spardyn('abc', zeros(0, 2), sparse_description(sparse(0, 0)), zeros(0, 3), opt), ...
               zeros(2, 3), 'abc: bases without rows');
  expect_equal(spardyn('abc', TA, sparse_description(sparse(40, 40)), TB, opt), ...
               zeros(3, 20), 'abc: k without entries');
  expect_near(spardyn('abc', TA, s, TB, int32([1 0 0 5])), TA.' * K * TB, 1e-13, ...
              'abc: option elements beyond the third are not read');
end

function abc_refuses_in_order()
  opt = int32([1 0 0]);
  K = test_matrix(6, 6, 9);
  s = sparse_description(K);
  T = ones(6, 2);
  expect_error(@() spardyn('abc', T, full(K), T, 1), '', ...
               'spardyn abc : b must be int32 sparse', 'abc: dense k before the option');
  expect_error(@() spardyn('abc', T, rmfield(s, 'pr'), T, opt), '', ...
               'spardyn abc : b must be int32 sparse', 'abc: description without values');
  expect_error(@() spardyn('abc', T, K, T, opt), '', 'ir must be int32', 'abc: host sparse k');
  expect_error(@() spardyn('abc', ones(5, 2), s, T, [1 0 0]), '', ...
               'int32 needed : spardyn(''abc'',TA,k,TB,int32([1 0 0]));', ...
               'abc: double option before the sizes');
  expect_error(@() spardyn('abc', ones(5, 2), s, T, int32([1 0 1])), '', 'spardyn(''abc'')', ...
               'abc: option [1 0 1]');
  expect_error(@() spardyn('abc', T, s, T, int32([1 0])), 'VRK:spardyn:WrongSize', ...
               'spardyn abc : the option must hold 3 values, int32([1 0 0]), it holds 2', ...
               'abc: option of two elements');
  expect_error(@() spardyn('abc', ones(5, 2), s, ones(5, 2), opt), '', ...
               'abc : a and b have wrong size', 'abc: TA height first');
  expect_error(@() spardyn('abc', T, s, ones(5, 2), opt), '', ...
               'abc : b and c have wrong size', 'abc: TB height');
  R = sparse_description(test_matrix(4, 6, 10), true);     % M is 4 x 6
  expect_error(@() spardyn('abc', ones(4, 1), R, ones(6, 1), opt), 'VRK:spardyn:Invalid', ...
               'spardyn abc : a non-square k cannot be given in transposed storage', ...
               'abc: rectangular k in transposed storage');
  expect_error(@() spardyn('abc', sparse(T), s, T, opt), 'VRK:spardyn:Invalid', ...
               'spardyn abc : TA must be a full double array, not sparse', 'abc: sparse TA');
  expect_error(@() spardyn('abc', T, s, single(T), opt), 'VRK:spardyn:Invalid', ...
               'spardyn abc : TB must be a full double array, not single', 'abc: single TB');
  expect_error(@() spardyn('abc', T, s, T), 'VRK:spardyn:WrongSize', ...
               'spardyn abc : 4 arguments expected, 3 given', 'abc: no option');
end
