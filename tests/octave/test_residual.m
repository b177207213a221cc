function test_residual()
% "residual" with the model's matrices: Rayleigh and modal damping, energies,
% accumulation, against Octave's own algebra; every refusal leaves r as it
% was.
  against_octave();
  model_forms_and_rayleigh_sources();
  missing_states();
  modal_damping();
  energies();
  historical_messages_in_order();
  refused_models();
  refused_vectors();
end

function [M, C, K] = model(n)
  rand('seed', n);
  K = sprandsym(n, min(1, 5 / n)) + 10 * speye(n);
  M = sprandsym(n, min(1, 2 / n)) + 3 * speye(n);
  C = 0.03 * K + 0.1 * M;
end

function cell = descriptions(M, C, K)
  cell = {sparse_description(M), sparse_description(C), sparse_description(K)};
end

function against_octave()
  for n = [1 7 1000 2500 12000]
    [M, C, K] = model(n);
    u = randn(n, 1); v = randn(n, 1); a = randn(n, 1); r0 = randn(n, 1);
    ray = [0.2 1e-3];
    expected = r0 + M * a + C * v + K * u + ray(1) * M * v + ray(2) * K * v;
    r = r0 + 0;
    spardyn('residual', r, struct('K', {descriptions(M, C, K)}), u, v, a, ray);
    expect_near(r, expected, 1e-13, sprintf('M a + C v + K u + Rayleigh, n = %d', n));
    spardyn('residual', r, struct('K', {descriptions(M, C, K)}), u, v, a, ray);
    expect_near(r, 2 * expected - r0, 1e-13, sprintf('accumulates, n = %d', n));
  end
  % Only the first Ndof entries of r change (Ndof: the rows of u; of r in
  % the earlier form, test_win32_residual.m).
  if strcmp(flavor(), 'win32'), return; end
  [M, C, K] = model(20);
  r = ones(25, 1);
  u = randn(20, 1);
  spardyn('residual', r, descriptions(M, C, K), u, u, u);
  expect_near(r(1:20), 1 + (M + C + K) * u, 1e-13, 'first Ndof entries');
  expect_equal(r(21:25), ones(5, 1), 'entries beyond Ndof untouched');
end

function model_forms_and_rayleigh_sources()
  [M, C, K] = model(30);
  u = randn(30, 1); v = randn(30, 1); a = randn(30, 1);
  base = M * a + C * v + K * u;
  mats = descriptions(M, C, K);
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a);
  expect_near(r, base, 1e-13, '1x3 cell, six inputs: no Rayleigh');
  r = zeros(30, 1); spardyn('residual', r, mats.', u, v, a);
  expect_near(r, base, 1e-13, '3x1 cell');
  r = zeros(30, 1); spardyn('residual', r, struct('K', {mats}, 'FNL', zeros(4, 1)), u, v, a);
  expect_near(r, base, 1e-13, 'model structure with FNL');
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a, struct('tc', 3));
  expect_near(r, base, 1e-13, 'options structure without Rayleigh');
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a, []);
  expect_near(r, base, 1e-13, 'empty Rayleigh input');
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a, struct('Rayleigh', [0.5; 0.25]));
  expect_near(r, base + 0.5 * M * v + 0.25 * K * v, 1e-13, 'Rayleigh field, column');
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a, [0 0.25 99]);
  expect_near(r, base + 0.25 * K * v, 1e-13, 'only the first two coefficients');
  r = zeros(30, 1); spardyn('residual', r, mats, u, v, a, [NaN 0]);
  expect_true(all(isnan(r)), 'a NaN coefficient runs its pass');
  r = zeros(30, 1); spardyn('residual', r, struct('K', {mats}, 'NL', {{}}), u, v, a);
  expect_near(r, base, 1e-13, 'an empty NL list');
  r = zeros(30, 1); spardyn('residual', r, {sparse_description(M), [], sparse_description(K)}, u, v, a);
  expect_near(r, M * a + K * u, 1e-13, 'an empty damping entry');
end

function missing_states()
  [M, C, K] = model(40);
  mats = descriptions(M, C, K);
  u = randn(40, 1); v = randn(40, 1); a = randn(40, 1);
  r = zeros(40, 1);
  spardyn('residual', r, mats, u, v, [], [0.5 0.1]);
  expect_near(r, 0.5 * M * v + C * v + K * u + 0.1 * K * v, 1e-13, ...
              'no acceleration: the mass adds rayM M v only');
  r = zeros(40, 1);
  [ek, es] = spardyn('residual', r, mats, u, [], a, [0.5 0.1]);
  expect_near(r, M * a + K * u, 1e-13, 'no velocity: no damping at all');
  expect_equal(ek, 0, 'no velocity: kinetic energy 0');
  expect_near(es, 0.5 * u' * K * u, 1e-13, 'strain energy without velocity');
  r = zeros(40, 1);
  spardyn('residual', r, {eye(40), sparse_description(C), sparse_description(K)}, u, v, [], [0.5 0]);
  expect_near(r, C * v + K * u, 1e-13, 'a full mass is not read without acceleration');
end

function modal_damping()
  n = 50; m = 4;
  [M, C, K] = model(n);
  Phi = randn(n, m); d = rand(m, 1);
  u = randn(n, 1); v = randn(n, 1); a = randn(n, 1);
  data = [d; -ones(m, 1)];
  modal = struct('def', Phi, 'data', data);
  r = zeros(n, 1);
  spardyn('residual', r, {sparse_description(M), modal, sparse_description(K)}, u, v, a, [0.1 0.01]);
  expected = M * a + 0.1 * M * v + Phi * (d .* (Phi' * v)) + K * u + 0.01 * K * v;
  expect_near(r, expected, 1e-12, 'modal damping');
  expect_equal(data(1:m), d, 'the coefficients stay');
  expect_near(data(m+1:end), d .* (Phi' * v), 1e-13, 'the scratch half holds d .* (Phi''*v)');

  data = [d; zeros(m, 1)];
  modal = struct('def', Phi, 'data', data, 'K', sparse_description(C));
  r = zeros(n, 1);
  spardyn('residual', r, {sparse_description(M), modal, sparse_description(K)}, u, v, a);
  expect_near(r, M * a + Phi * (d .* (Phi' * v)) + C * v + K * u, 1e-12, ...
              'modal damping with an added damping matrix');

  r = zeros(n, 1);
  bad = struct('def', Phi, 'data', zeros(2 * m - 1, 1));
  expect_error(@() spardyn('residual', r, {sparse_description(M), bad, sparse_description(K)}, u, v, a), ...
               'VRK:spardyn:WrongSize', [], 'data shorter than 2m');
  bad = struct('def', Phi(1:end-1, :), 'data', zeros(2 * m, 1));
  expect_error(@() spardyn('residual', r, {sparse_description(M), bad, sparse_description(K)}, u, v, a), ...
               'VRK:spardyn:Invalid', [], 'mode shapes without Ndof rows');
  bad = struct('def', Phi, 'data', zeros(2 * m, 1), 'K', eye(n));
  expect_error(@() spardyn('residual', r, {sparse_description(M), bad, sparse_description(K)}, u, v, a), ...
               'VRK:spardyn:Invalid', [], 'a full added damping matrix');
  expect_equal(r, zeros(n, 1), 'r untouched by the refusals');
end

function energies()
  [M, C, K] = model(300);
  u = randn(300, 1); v = randn(300, 1); a = randn(300, 1);
  r = zeros(300, 1);
  [ek, es] = spardyn('residual', r, descriptions(M, C, K), u, v, a, [0.1 0.1]);
  expect_near(ek, 0.5 * v' * M * v, 1e-13, 'kinetic energy');
  expect_near(es, 0.5 * u' * K * u, 1e-13, 'strain energy');
  expect_near(r, M * a + C * v + K * u + 0.1 * (M + K) * v, 1e-13, 'r with the energies');
  expect_error(@() one_output('residual', zeros(300, 1), descriptions(M, C, K), u, v, a), ...
               '', 'value on right hand side of assignment is undefined', 'one output asked: none made');
  r = zeros(300, 1);
  expect_error(@() two_outputs('residual', r, {eye(300), [], sparse_description(K)}, u, v, []), ...
               'VRK:spardyn:Invalid', [], 'energies need a sparse mass');
end

function historical_messages_in_order()
  [M, C, K] = model(5);
  mats = descriptions(M, C, K);
  u = ones(5, 1); r = zeros(5, 1);
  if ~strcmp(flavor(), 'win32')  % one test for r too there
    expect_error(@() spardyn('residual', complex(r), mats, 1i * u, u, u), ...
                 'VRK:spardyn:Invalid', 'Real numbers for r', 'complex r first');
  end
  expect_error(@() spardyn('residual', r, mats, u, 1i * u, u), '', ...
               'Real numbers needed.', 'complex v');
  expect_error(@() spardyn('residual', r, mats, u, u, 1i * u), '', ...
               'Real numbers needed.', 'complex a');
  expect_error(@() spardyn('residual', r, mats(1:2), u, u, u), '', ...
               'model.K must be a 3*1 cell array', '1x2 cell');
  expect_error(@() spardyn('residual', r, struct('K', {mats(1:2)}), u, u, 1i * u), '', ...
               'Real numbers needed.', 'the record is read before the model');
  expect_error(@() spardyn('residual', r, struct('K', sparse_description(K)), u, u, u), '', ...
               'model.K must be a 3*1 cell array', 'a K that is not a cell');
  expect_error(@() spardyn('residual', r, {eye(5), [], eye(5)}, u, u, u), '', ...
               'Implemented for sparse matrices', 'full mass with accelerations');
  expect_equal(r, zeros(5, 1), 'r untouched');
end

function refused_models()
  [M, C, K] = model(6);
  mats = descriptions(M, C, K);
  u = ones(6, 1); r = zeros(6, 1);
  expect_error(@() spardyn('residual', r, struct('k', {mats}), u, u, u), ...
               'VRK:spardyn:empty', 'spardyn residual : the model''s field "K" is missing', ...
               'a model structure without K');
  expect_error(@() spardyn('residual', r, 3, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'a number as model');
  expect_error(@() spardyn('residual', r, struct('K', {mats}, 'NL', {{struct()}}), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'non-linearities are not available yet');
  expect_error(@() spardyn('residual', r, {mats{1}, full(C), mats{3}}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'full damping');
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, full(K)}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'full stiffness');
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, struct()}, u, u, u, [0 1]), ...
               'VRK:spardyn:Invalid', [], 'stiffness without values while rayK is not 0');
  r2 = zeros(6, 1);
  spardyn('residual', r2, {mats{1}, mats{2}, struct()}, u, u, u, [0 0]);
  expect_near(r2, (M + C) * u, 1e-14, 'stiffness without values and rayK = 0 adds nothing');
  bad = mats{3}; bad.ir(end) = 6;
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, bad}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'row index beyond the vectors');
  bad = mats{1}; bad.ir(1) = -1;
  expect_error(@() spardyn('residual', r, {bad, mats{2}, mats{3}}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'a negative row index');
  bad = mats{2}; bad.jc(3) = bad.jc(4) + 1;
  expect_error(@() spardyn('residual', r, {mats{1}, bad, mats{3}}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'decreasing column pointers');
  small = sparse_description(K(1:4, 1:4));
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, small}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'fewer stored columns than degrees of freedom');
  bad = mats{3}; bad = rmfield(bad, 'jc');
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, bad}, u, u, u), ...
               'VRK:spardyn:Invalid', [], 'row indices without column pointers');
  expect_error(@() spardyn('residual', r, {mats{1}, mats{2}, sparse(K)}, u, u, u), ...
               '', 'ir must be int32', 'a host sparse matrix');
  expect_equal(r, zeros(6, 1), 'r untouched by every refusal');
end

function refused_vectors()
  [M, C, K] = model(6);
  mats = descriptions(M, C, K);
  u = ones(6, 1); r = zeros(6, 1);
  if ~strcmp(flavor(), 'win32')  % there r's rows are the degrees of freedom
    expect_error(@() spardyn('residual', zeros(5, 1), mats, u, u, u), ...
                 'VRK:spardyn:WrongSize', [], 'short r');
    expect_error(@() spardyn('residual', [], mats, u, u, u), ...
                 'VRK:spardyn:WrongSize', [], 'empty r');
  end
  expect_error(@() spardyn('residual', r, mats, zeros(6, 0), u, u), ...
               'VRK:spardyn:WrongSize', [], 'a displacement with rows but no column');
  expect_error(@() spardyn('residual', r, mats, u, ones(5, 1), u), ...
               'VRK:spardyn:WrongSize', [], 'short v');
  expect_error(@() spardyn('residual', r, mats, u, u, ones(5, 1)), ...
               'VRK:spardyn:WrongSize', [], 'short a');
  expect_error(@() spardyn('residual', r, mats, u, u, u, 0.5), ...
               'VRK:spardyn:WrongSize', [], 'a single Rayleigh coefficient');
  expect_error(@() spardyn('residual', r, mats, u, u, u, {1 2}), ...
               'VRK:spardyn:Invalid', [], 'Rayleigh coefficients in a cell');
  if ~strcmp(flavor(), 'win32')  % the earlier form reads no time
    expect_error(@() spardyn('residual', r, mats, u, u, u, struct('tc', 'x')), ...
                 'VRK:spardyn:Invalid', [], 'a time that is not a number');
  end
  expect_error(@() spardyn('residual', r, mats, int32(u), u, u), ...
               'VRK:spardyn:Invalid', [], 'an int32 displacement');
  expect_error(@() spardyn('residual', r, mats, sparse(u), u, u), ...
               'VRK:spardyn:Invalid', [], 'a sparse displacement');
  expect_error(@() spardyn('residual', r, struct('K', {mats}, 'FNL', 'abc'), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'FNL that is not a double array');
  w = zeros(6, 1); alias = w;
  expect_error(@() spardyn('residual', w, mats, alias, u, u), ...
               'VRK:spardyn:Invalid', [], 'r sharing its data with u');
  expect_error(@() spardyn('residual', r, mats, u, u), ...
               'VRK:spardyn:WrongSize', [], 'missing acceleration input');
  expect_equal(r, zeros(6, 1), 'r untouched');
  expect_equal(w, zeros(6, 1), 'aliased r untouched');
end

function e = one_output(varargin)
  e = spardyn(varargin{:});
end

function [e1, e2] = two_outputs(varargin)
  [e1, e2] = spardyn(varargin{:});
end
