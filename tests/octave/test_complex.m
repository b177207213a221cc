function test_complex()
% Complex data, which the module reads in place under the interleaved array
% interface and through the host's copies under the classic one: "abc"
% against Octave's own complex algebra across the blocks and slabs of its
% product, inputs left as they were, stored complex values, and complex
% targets of the in-place commands refused with the caller's data intact.
  abc_matches_octave_across_blocks();
  abc_leaves_its_inputs_untouched();
  directzr_answers_for_complex_inputs();
  complex_dims_read_as_their_real_parts();
  complex_targets_are_refused_untouched();
  if ~has_handles(), return; end
  stored_complex_values_are_copies();
  spardyn('chandleclear');
end

function K = band_matrix(m, n, seed)
% An m x n sparse matrix of about 12 entries per column, not symmetric.
  rand('seed', seed);
  K = sprand(m, n, min(1, 10 / m)) + spdiags(rand(min(m, n), 3), [-1 0 2], m, n);
end

function z = random_complex(m, n, seed)
  rand('seed', seed);
  z = complex(rand(m, n) - 0.5, rand(m, n) - 0.5);
end

% 37 columns of TB: two blocks of 16 complex columns and one of 5 (or a block
% of 32 real ones and one of 5); 3000 rows of TA: two slabs of 2048 rows and
% less, where TA is complex and TB real.
function abc_matches_octave_across_blocks()
  opt = int32([1 0 0]);
  K = band_matrix(3000, 2500, 1);
  s = sparse_description(K);
  CA = random_complex(3000, 5, 2); CB = random_complex(2500, 37, 3);
  RA = real(CA); RB = imag(CB);
  cases = {RA, RB, 'real TA, real TB'; RA, CB, 'real TA, complex TB'; ...
           CA, RB, 'complex TA, real TB'; CA, CB, 'complex TA, complex TB'};
  for k = 1:rows(cases)
    [TA, TB, name] = cases{k, :};
    r = spardyn('abc', TA, s, TB, opt);
    expect_equal(iscomplex(r), iscomplex(TA) || iscomplex(TB), ['abc: complexity, ' name]);
    expect_near(r, TA.' * K * TB, 1e-13, ['abc: ' name]);
  end
  % One mode on each side, and a square k in transposed storage.
  a = CA(:, 1); b = CB(:, 2);
  expect_near(spardyn('abc', a, s, b, opt), a.' * K * b, 1e-13, 'abc: one complex mode each');
  Q = band_matrix(400, 400, 4);
  A = random_complex(400, 3, 5); B = random_complex(400, 17, 6);
  expect_near(spardyn('abc', A, sparse_description(Q, true), B, opt), A.' * Q.' * B, 1e-13, ...
              'abc: complex bases, k in transposed storage');
  expect_equal(spardyn('abc', A, sparse_description(Q), complex(zeros(400, 0)), opt), ...
               complex(zeros(3, 0)), 'abc: complex TB without columns');
end

% The module reads the host's own complex data: neither a basis nor a
% variable sharing its data may change.
function abc_leaves_its_inputs_untouched()
  K = band_matrix(300, 300, 7);
  TA = random_complex(300, 4, 8); TB = random_complex(300, 20, 9);
  shared = TA;                               % same data as TA
  before = {TA + 0, TB + 0};
  spardyn('abc', TA, sparse_description(K), TB, int32([1 0 0]));
  expect_true(isequal({TA, TB}, before), 'abc: complex bases untouched');
  expect_true(isequal(shared, before{1}), 'abc: a variable sharing TA untouched');
end

function directzr_answers_for_complex_inputs()
  a = random_complex(3, 2, 10); b = random_complex(2, 5, 11); d = random_complex(4, 2, 12);
  before = {a + 0, b + 0, d + 0};
  r = spardyn('directzr', a, {}, b, d);
  expect_equal(size(r), [3 20], 'directzr: rows(a) x rows(d)*cols(b)');
  expect_true(all(r(:) == 0), 'directzr: zeros, both parts');
  expect_true(isequal({a, b, d}, before), 'directzr: inputs untouched');
end

% A stored value is the module's own copy, complex parts included (single
% precision too), whichever way the host lays them out.
function stored_complex_values_are_copies()
  z = random_complex(500, 3, 13);
  w = single(random_complex(4, 2, 14));
  h = spardyn('chandleset', 2, struct('z', z, 'w', w));
  z0 = z + 0;
  z(1) = 99;                                 % the variable changes, not the copy
  got = spardyn('chandleget', h);
  expect_true(isequal(got.z, z0), 'stored complex double array read back');
  expect_true(isequal(got.w, w) && isa(got.w, 'single'), 'stored complex single array read back');
  got.z(2) = -1;
  again = spardyn('chandleget', h);
  expect_true(isequal(again.z, z0), 'a read-back copy is no window on the stored value');
  spardyn('chandleclear', h);
end

function complex_dims_read_as_their_real_parts()
  K = band_matrix(5, 7, 15);
  s = sparse_description(K);
  s.dims = complex([5 7], [1 1]);
  rand('seed', 16);
  TA = rand(5, 2); TB = rand(7, 3);
  expect_near(spardyn('abc', TA, s, TB, int32([1 0 0])), TA.' * K * TB, 1e-13, ...
              'complex "dims": the real parts give the size');
end

% Every in-place command computes real values: a complex target is refused
% under both interfaces, before anything is written, and neither it nor a
% variable sharing its data changes.
function complex_targets_are_refused_untouched()
  K = sparse_description(sparse([2 -1 0; -1 2 -1; 0 -1 2]));
  x = [1; 2; 3];

  y = complex(zeros(3, 1), 1); y2 = y;
  expect_error(@() spardyn('tbbp', K, x, y), 'VRK:spardyn:Invalid', ...
               'spardyn tbbp : y must be a real full double array, not complex', 'tbbp: complex y');
  expect_true(isequal(y, complex(zeros(3, 1), 1)) && isequal(y2, y), 'tbbp: complex y untouched');

  r = complex(zeros(3, 1), 1); r2 = r;
  if strcmp(flavor(), 'win32')  % one test over r, u, v, a there
    expect_error(@() spardyn('residual', r, {K, K, K}, x, x + 0, x + 0), '', ...
                 'Real numbers needed.', 'residual: complex r');
  else
    expect_error(@() spardyn('residual', r, {K, K, K}, x, x + 0, x + 0), 'VRK:spardyn:Invalid', ...
                 'Real numbers for r', 'residual: complex r');
  end
  expect_true(isequal(r, complex(zeros(3, 1), 1)) && isequal(r2, r), 'residual: complex r untouched');
  r = zeros(3, 1);
  expect_error(@() spardyn('residual', r, {K, K, K}, x, x + 1i, x + 0), '', ...
               'Real numbers needed.', 'residual: complex v');
  expect_equal(r, zeros(3, 1), 'residual: r untouched by a complex v');

  a = [1 2; 3 4; 5 6];
  c = complex(zeros(2, 3), 1); c2 = c;
  expect_error(@() spardyn('c<-a''*b', a, K, c), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : the target c must be a real full double array, not complex', ...
               'c<-a''*b: complex target');
  expect_true(isequal(c, complex(zeros(2, 3), 1)) && isequal(c2, c), 'c<-a''*b: complex target untouched');
  expect_error(@() spardyn('c<-a''*b', a + 1i, K), 'VRK:spardyn:Invalid', ...
               'spardyn c<-a''*b : a must be a real full double array, not complex', 'c<-a''*b: complex a');

  S = K; S.pr = complex(S.pr, 0.5); pr = S.pr;
  expect_error(@() spardyn('setsparse', S, [], [], [7 7 7]), 'VRK:spardyn:Invalid', ...
               'sparse description: field "pr" must be a real full double array, not complex', ...
               'setsparse: description with complex values');
  expect_true(isequal(S.pr, complex(K.pr, 0.5)) && isequal(pr, S.pr), 'setsparse: complex values untouched');
end
