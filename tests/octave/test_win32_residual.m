function test_win32_residual()
% The earlier form of "residual" (Windows x86): the degrees of freedom are
% the rows of r; one complex test over r, u, v and a with one message; no
% handle vectors; the options' time is not read.
  dofs_from_r();
  one_complex_test();
  no_handle_vectors();
  options_without_time();
end

function [M, C, K] = model(n)
  rand('seed', n);
  K = sprandsym(n, min(1, 5 / n)) + 10 * speye(n);
  M = sprandsym(n, min(1, 2 / n)) + 3 * speye(n);
  C = 0.03 * K;
end

function cell = descriptions(M, C, K)
  cell = {sparse_description(M), sparse_description(C), sparse_description(K)};
end

function dofs_from_r()
  n = 25;
  [M, C, K] = model(n);
  mats = descriptions(M, C, K);
  u = randn(n, 1); v = randn(n, 1); a = randn(n, 1);
  full_r = M * a + C * v + K * u + 0.1 * M * v + 0.2 * K * v;
  r = zeros(20, 1);
  [ek, es] = spardyn('residual', r, mats, u, v, a, [0.1 0.2]);
  % Column j of each (symmetric) matrix gives entry j: the first 20.
  expect_near(r, full_r(1:20), 1e-13, 'r of 20 rows: its 20 entries of the residual');
  expect_near(ek, 0.5 * v(1:20)' * M(:, 1:20)' * v, 1e-13, ...
              'kinetic energy over the 20 columns');
  expect_near(es, 0.5 * u(1:20)' * K(:, 1:20)' * u, 1e-13, 'strain energy over the 20 columns');
  r = zeros(n, 1);
  spardyn('residual', r, struct('K', {mats}), u, v, a, [0.1 0.2]);
  expect_near(r, full_r, 1e-13, 'a model structure, r of Ndof rows');
  % u, v or a shorter than r: refused before anything is written.
  r = zeros(30, 1);
  for k = 1:3
    args = {[u; 0; 0; 0; 0; 0], [v; zeros(5, 1)], [a; zeros(5, 1)]};
    args{k} = args{k}(1:29);
    expect_error(@() spardyn('residual', r, descriptions(M, C, K), args{:}), ...
                 'VRK:spardyn:WrongSize', [], sprintf('input %d shorter than r', k + 3));
  end
  expect_equal(r, zeros(30, 1), 'r untouched by the refusals');
end

function one_complex_test()
  [M, C, K] = model(5);
  mats = descriptions(M, C, K);
  u = ones(5, 1); r = zeros(5, 1);
  inputs = {r, u, u, u};
  for k = 1:4
    args = inputs;
    args{k} = complex(args{k}, 1);
    expect_error(@() spardyn('residual', args{1}, mats, args{2:4}), '', 'Real numbers needed.', ...
                 sprintf('complex input %d: "Real numbers needed."', [2 4 5 6](k)));
  end
  expect_equal(r, zeros(5, 1), 'r untouched');
end

function no_handle_vectors()
  [M, C, K] = model(4);
  r = zeros(4, 1);
  expect_error(@() spardyn('residual', r, chandle([0 1]), ones(4, 1), ones(4, 1), ones(4, 1)), ...
               'VRK:spardyn:Invalid', ['spardyn residual : the model must be a structure with a ' ...
               'cell "K", or a cell of three matrices, not chandle'], 'a chandle vector as model');
  buffer = buffer_object(buffer_fixture('new', 4));
  expect_error(@() spardyn('residual', buffer, descriptions(M, C, K), ones(4, 1), ones(4, 1), ...
                           ones(4, 1)), 'VRK:spardyn:Invalid', ...
               'spardyn residual : r must be a real full double array, not buffer_object', ...
               'an object sharing its buffer as r: it has no rows');
  buffer_fixture('free');
  expect_equal(r, zeros(4, 1), 'r untouched');
end

function options_without_time()
  [M, C, K] = model(6);
  u = randn(6, 1);
  r = zeros(6, 1);
  spardyn('residual', r, descriptions(M, C, K), u, u, u, struct('tc', 'not a time', ...
          'Rayleigh', [0 1]));
  expect_near(r, (M + C + K) * u + K * u, 1e-13, 'Rayleigh read, "tc" not');
end
