function test_tbbp()
% The parallel product through "tbbp", and the view rules it reads its
% matrix with.
  products_against_octave();
  accumulation_and_extent();
  view_sources();
  refused_descriptions();
end

function products_against_octave()
  rand('seed', 11);
  for n = [1 7 999 1000 1001 2500 20000]
    K = sprandn(n, n, min(1, 8 / n)) + speye(n);
    x = randn(n, 1); y = randn(n, 1); y0 = y + 0;
    spardyn('tbbp', sparse_description(K), x, y);
    expect_near(y, y0 + K.' * x, 1e-13, sprintf('y + K.''*x, n = %d', n));
  end
  % Symmetric stiffness: the column product is K*x.
  e = ones(3000, 1); K = spdiags([-e 2*e -e], -1:1, 3000, 3000);
  x = randn(3000, 1); y = zeros(3000, 1);
  spardyn('tbbp', sparse_description(K), x, y);
  expect_near(y, K * x, 1e-14, 'symmetric stencil');
  % Unsorted and repeated row indices add up.
  s = struct('ir', int32([2 0 2 1]'), 'jc', int32([0 3 3 4]'), 'pr', [1 2 3 4]');
  y = zeros(3, 1);
  spardyn('tbbp', s, [10; 20; 30], y);
  expect_equal(y, [30 + 20 + 90; 0; 80], 'unsorted, repeated, empty column');
end

function accumulation_and_extent()
  K = sparse([1 2 0; 0 3 4; 5 0 6]);
  s = sparse_description(K);
  y = ones(5, 1);
  spardyn('tbbp', s, [1; 1; 1], y);
  expect_equal(y, [1 + 6; 1 + 5; 1 + 10; 1; 1], 'adds to the first rows(x) entries only');
  spardyn('tbbp', s, [1; 1; 1], y);
  expect_equal(y, [13; 11; 21; 1; 1], 'accumulates');
  y = ones(3, 1);
  spardyn('tbbp', sparse_description(sparse([1 2 0; 3 4 0; 0 0 6])), [2; 0], y);
  expect_equal(y, [1 + 2; 1 + 4; 1], 'n = rows of x');
  y = ones(3, 1);
  expect_error(@() spardyn('tbbp', s, [2; 0], y), 'VRK:spardyn:Invalid', [], ...
               'a column that reads beyond x');
  y = ones(3, 1);
  spardyn('tbbp', s, zeros(0, 1), y);
  expect_equal(y, ones(3, 1), 'n = 0 leaves y');
  y = ones(3, 1);
  spardyn('tbbp', struct('ir', int32(0), 'jc', int32([0 1])), [1; 1; 1], y);
  expect_equal(y, ones(3, 1), 'no values leaves y');
  y = ones(3, 1);
  spardyn('tbbp', [], [1; 1; 1], y);
  expect_equal(y, ones(3, 1), 'empty matrix leaves y');
end

function view_sources()
  K = sparse([4 1 0; 1 5 2; 0 2 6]);
  x = [1; -1; 2];
  s = sparse_description(K);
  y = zeros(3, 1); spardyn('tbbp', v_handle(s), x, y);
  expect_equal(y, K.' * x, 'v_handle reads its "file"');
  t = rmfield(s, 'dims');
  y = zeros(3, 1); spardyn('tbbp', t, x, y);
  expect_equal(y, K.' * x, 'no dims: square from jc');
  t = s; t.trans = NaN;
  y = zeros(3, 1); spardyn('tbbp', t, x, y);
  expect_equal(y, K.' * x, 'trans does not change the stored columns');
  t = s; t.dims = [2.9 3.7];
  y = zeros(3, 1); spardyn('tbbp', t, x, y);
  expect_equal(y, K.' * x, 'dims do not change the stored columns');
  s2 = [s s];   % a structure array: element 1 is read
  y = zeros(3, 1); spardyn('tbbp', s2, x, y);
  expect_equal(y, K.' * x, 'structure array');
end

function refused_descriptions()
  K = sparse([4 1 0; 1 5 2; 0 2 6]);
  s = sparse_description(K);
  x = [1; 2; 3];
  expect_error(@() spardyn('tbbp', K, x, zeros(3, 1)), '', 'ir must be int32', 'host sparse');
  expect_error(@() spardyn('tbbp', v_handle(K), x, zeros(3, 1)), '', 'ir must be int32', 'host sparse behind v_handle');
  y = ones(3, 1);
  spardyn('tbbp', v_handle(), x, y);
  expect_equal(y, ones(3, 1), 'v_handle with an empty file: no values');
  expect_error(@() spardyn('tbbp', full(K), x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'dense matrix');
  bad = s; bad.ir = double(bad.ir);
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'double ir');
  bad = s; bad.jc = double(bad.jc);
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'double jc');
  bad = s; bad.pr = single(bad.pr);
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'single pr');
  bad = rmfield(rmfield(s, 'jc'), 'dims');
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'no size');
  bad = s; bad.jc = int32([0 3 2 7]');
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'decreasing jc');
  bad = s; bad.jc(end) = 100;
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'jc beyond ir');
  bad = s; bad.ir(2) = 3;
  y = ones(3, 1);
  expect_error(@() spardyn('tbbp', bad, x, y), 'VRK:spardyn:Invalid', [], 'row index beyond x');
  expect_equal(y, ones(3, 1), 'a refused description leaves y untouched');
  bad = s; bad.ir(2) = -5;
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'negative row index');
  bad = s; bad.ir(1) = 2^31 - 1;
  expect_error(@() spardyn('tbbp', bad, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'huge row index');
  expect_error(@() spardyn('tbbp', s, [x; 1], zeros(4, 1)), 'VRK:spardyn:Invalid', [], 'more columns asked than stored');
  expect_error(@() spardyn('tbbp', s, x, zeros(2, 1)), 'VRK:spardyn:WrongSize', [], 'y too short');
  expect_error(@() spardyn('tbbp', s, int32(x), zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'int32 x');
  expect_error(@() spardyn('tbbp', s, x, {1}), 'VRK:spardyn:Invalid', [], 'cell y');
  expect_error(@() spardyn('tbbp', s, v_handle(), zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'object x');
  z = zeros(3, 1) + 1;
  expect_error(@() spardyn('tbbp', s, z, z), 'VRK:spardyn:Invalid', [], 'x and y the same array');
  expect_error(@() spardyn('tbbp', {s}, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'cell matrix');
  expect_error(@() spardyn('tbbp', @sin, x, zeros(3, 1)), 'VRK:spardyn:Invalid', [], 'function handle matrix');
end
