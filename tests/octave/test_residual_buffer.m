function test_residual_buffer()
% The residual vector given as an object sharing its own buffer (property
% "c" holding the address), in matrix and in handle mode.
  if strcmp(flavor(), 'win32'), skip_file('r is an array in this flavour: its rows count the degrees of freedom'); return; end
  n = 40;
  rand('seed', 3);
  K = sprandsym(n, 0.1) + 10 * speye(n); M = speye(n) * 2; C = 0.1 * K;
  mats = {sparse_description(M), sparse_description(C), sparse_description(K)};
  u = randn(n, 1); v = randn(n, 1); a = randn(n, 1);
  expected = M * a + C * v + K * u + 0.1 * M * v + 0.2 * K * v;

  b = buffer_object(buffer_fixture('new', n));
  spardyn('residual', b, mats, u, v, a, [0.1 0.2]);
  expect_near(buffer_fixture('get'), expected, 1e-13, 'matrix mode into the buffer');

  b = buffer_object(buffer_fixture('new', n));
  h = [chandle(spardyn('chandleset', 2, mats{1})) ...
       chandle(spardyn('chandleset', 3, mats{2})) ...
       chandle(spardyn('chandleset', 1, mats{3}))];
  spardyn('residual', b, h, u, v, a, [0.1 0.2]);
  spardyn('residual', b, h, u, v, a, [0.1 0.2]);
  expect_near(buffer_fixture('get'), 2 * expected, 1e-13, 'handle mode accumulates into the buffer');
  buffer_fixture('free');

  expect_error(@() spardyn('residual', v_handle(mats{1}), mats, u, v, a), ...
               'VRK:spardyn:Invalid', [], 'an object without a buffer address');
  expect_error(@() spardyn('residual', buffer_object(uint8(1)), mats, u, v, a), ...
               'VRK:spardyn:Invalid', [], 'a property too small for an address');
  expect_error(@() spardyn('residual', {zeros(n, 1)}, mats, u, v, a), ...
               'VRK:spardyn:Invalid', [], 'a cell as residual');
  spardyn('chandleclear');
end
