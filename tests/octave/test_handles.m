function test_handles()
% Sparse mass, stiffness and damping terms evaluated through "residual" with
% a chandle vector, against Octave's own algebra.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  handle_vectors();
  several_terms_against_octave();
  diagonal_terms();
  terms_without_contribution();
  refused_terms();
  refused_states();
  spardyn('chandleclear');
end

function [M, C, K] = model(n)
  rand('seed', n);
  K = sprandsym(n, 4 / n) + 10 * speye(n);
  M = spdiags(1 + rand(n, 1), 0, n, n) + 0.01 * (K ~= 0);
  C = 0.02 * K + 0.05 * M;
end

function handle_vectors()
  h = [chandle(4) chandle([7 9])];
  expect_equal(size(h), [1 3], 'chandle vectors concatenate');
  expect_equal([remi(h, 1) remi(h, 3)], [4 9], 'remi reads element i');
  expect_equal(numbers(h), [4 7 9], 'numbers lists them');
  expect_equal(size(chandle()), [1 0], 'an empty vector');
  r = ones(3, 1);
  spardyn('residual', r, chandle(), zeros(3, 1), zeros(3, 1), zeros(3, 1));
  expect_equal(r, ones(3, 1), 'an empty handle vector adds nothing');
  expect_error(@() spardyn('residual', ones(3, 1), chandle(12345), zeros(3, 1), ...
                           zeros(3, 1), zeros(3, 1)), ...
               'VRK:spardyn:NonHandle', 'Handle does not exist', 'unregistered number');
  expect_error(@() spardyn('residual', ones(3, 1), chandle(NaN), zeros(3, 1), ...
                           zeros(3, 1), zeros(3, 1)), ...
               'VRK:spardyn:NonHandle', 'Handle does not exist', 'NaN element');
end

function several_terms_against_octave()
  for n = [5 1500 4000]
    [M, C, K] = model(n);
    m = spardyn('chandleset', 2, sparse_description(M));
    c = spardyn('chandleset', 3, sparse_description(C));
    k = spardyn('chandleset', 1, sparse_description(K));
    h = [chandle(m) chandle([c k])];
    u = randn(n, 1); v = randn(n, 1); a = randn(n, 1); r0 = randn(n, 1);
    ray = [0.3 2e-3];
    expected = r0 + M * a + C * v + K * u + ray(1) * M * v + ray(2) * K * v;

    r = r0 + 0;
    spardyn('residual', r, h, u, v, a, ray);
    expect_near(r, expected, 1e-13, sprintf('mass, damping, stiffness, n = %d', n));
    spardyn('residual', r, h, u, v, a, ray);
    expect_near(r, 2 * expected - r0, 1e-13, sprintf('accumulates, n = %d', n));

    r = r0 + 0;
    spardyn('residual', r, h, u, v, a, struct('Rayleigh', ray, 'tc', 0.5));
    expect_near(r, expected, 1e-13, 'Rayleigh from an options structure');
    r = r0 + 0;
    spardyn('residual', r, chandle(k), u, v, a);
    expect_near(r, r0 + K * u, 1e-13, 'stiffness alone, no Rayleigh');
    r = r0 + 0;
    spardyn('residual', r, [chandle(k) chandle(k)], u, v, a, [0 1]);
    expect_near(r, r0 + 2 * (K * u + K * v), 1e-13, 'a handle listed twice adds twice');

    r = r0 + 0;
    try
      [e1, e2] = spardyn('residual', r, h, u, v, a, ray);
    catch
    end
    expect_near(r, expected, 1e-13, 'two outputs in handle mode still add to r');
    spardyn('chandleclear', m); spardyn('chandleclear', c); spardyn('chandleclear', k);
  end
end

function diagonal_terms()
  d = [2; 3; 5];
  m = spardyn('chandleset', 2, sparse_description(spdiags(d, 0, 3, 3)));
  a = [1; -1; 2]; v = [0.5; 1; -2]; u = [1; 2; 3];
  r = zeros(3, 1);
  spardyn('residual', r, chandle(m), u, v, a, [0.1 0]);
  expect_equal(r, d .* (a + 0.1 * v), 'diagonal mass folds its Rayleigh part');
  stored = spardyn('chandleget', m);
  expect_equal(stored.ir(1), int32(-1), 'the stored value carries the diagonal marker');
  r = zeros(3, 1);
  spardyn('residual', r, chandle(m), u, v, a, [0.1 0]);
  expect_equal(r, d .* (a + 0.1 * v), 'a marked matrix gives the same result again');

  % One stored entry per column, off the diagonal: still read as diagonal.
  off = sparse([0 0 7; 4 0 0; 0 6 0]);
  k = spardyn('chandleset', 1, sparse_description(off));
  r = zeros(3, 1);
  spardyn('residual', r, chandle(k), u, v, a, [0 0.5]);
  expect_equal(r, [4; 6; 7] .* (u + 0.5 * v), 'k-th value is the entry of row k');
  % As many entries as columns, but not one in each: an ordinary matrix.
  uneven = sparse([1 3 2], [1 1 3], [4 7 6], 3, 3);   % columns hold 2, 0, 1
  k2 = spardyn('chandleset', 1, sparse_description(uneven));
  r = zeros(3, 1);
  spardyn('residual', r, chandle(k2), u, v, a, [0 0.5]);
  expect_equal(r, uneven.' * (u + 0.5 * v), 'columns of 2, 0 and 1 entries: not diagonal');
  stored = spardyn('chandleget', k2);
  expect_equal(stored.ir(1), int32(0), 'and not marked');
  spardyn('chandleclear', k2);
  c = spardyn('chandleset', 3, sparse_description(spdiags(d, 0, 3, 3)));
  r = ones(3, 1);
  spardyn('residual', r, chandle(c), u, v, a);
  expect_equal(r, 1 + d .* v, 'diagonal damping');

  r = zeros(4, 1);
  expect_error(@() spardyn('residual', r, chandle(m), zeros(4, 1), zeros(4, 1), ones(4, 1)), ...
               'VRK:spardyn:WrongSize', [], 'a diagonal shorter than the state');
  expect_equal(r, zeros(4, 1), 'r untouched');
  spardyn('chandleclear', m); spardyn('chandleclear', k); spardyn('chandleclear', c);
end

function terms_without_contribution()
  [M, C, K] = model(6);
  m = spardyn('chandleset', 2, sparse_description(M));
  u = randn(6, 1); v = randn(6, 1);
  r = ones(6, 1);
  spardyn('residual', r, chandle(m), u, v, [], [5 0]);
  expect_equal(r, ones(6, 1), 'a mass term without accelerations adds nothing, even with rayM');
  c = spardyn('chandleset', 3, sparse_description(sparse(6, 6)));
  spardyn('residual', r, chandle(c), u, v, ones(6, 1));
  expect_equal(r, ones(6, 1), 'a damping without stored entries adds nothing');
  d = spardyn('chandleset', 3, sparse_description(C));
  spardyn('residual', r, chandle(d), u, [], ones(6, 1));
  expect_equal(r, ones(6, 1), 'no velocity: a damping term adds nothing');
  k = spardyn('chandleset', 1, sparse_description(K));
  spardyn('residual', r, chandle(k), u, [], ones(6, 1), [0 3]);
  expect_near(r, 1 + K * u, 1e-14, 'no velocity: no Rayleigh pass');
  spardyn('chandleclear');
end

function refused_terms()
  u = ones(3, 1); r = zeros(3, 1);
  full_mass = spardyn('chandleset', 2, eye(3));
  expect_error(@() spardyn('residual', r, chandle(full_mass), u, u, u), ...
               'VRK:spardyn:empty', 'Error not a valid mass', 'full mass');
  no_values = spardyn('chandleset', 2, struct('ir', int32(0), 'jc', int32([0 1])));
  expect_error(@() spardyn('residual', r, chandle(no_values), u, u, u), ...
               'VRK:spardyn:empty', 'no real part', 'mass without values');
  full_k = spardyn('chandleset', 1, eye(3));
  expect_error(@() spardyn('residual', r, chandle(full_k), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'full stiffness');
  full_c = spardyn('chandleset', 3, eye(3));
  expect_error(@() spardyn('residual', r, chandle(full_c), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'full damping');
  no_jc = spardyn('chandleset', 1, struct('ir', int32([0 1 2]), 'pr', [1 2 3], 'dims', [3 3]));
  expect_error(@() spardyn('residual', r, chandle(no_jc), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'row indices without column pointers');
  k_empty = spardyn('chandleset', 1, struct());
  expect_error(@() spardyn('residual', r, chandle(k_empty), u, u, u, [0 1]), ...
               'VRK:spardyn:Invalid', [], 'stiffness without values while rayK is not 0');
  spardyn('residual', r, chandle(k_empty), u, u, u, [0 0]);
  expect_equal(r, zeros(3, 1), 'stiffness without values adds nothing when rayK is 0');

  s = sparse_description(sparse([2 1 0; 1 2 1; 0 1 2]));
  s.ir(4) = 3;  % beyond the state
  bad = spardyn('chandleset', 1, s);
  expect_error(@() spardyn('residual', r, chandle(bad), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'row index beyond the vectors');
  short = sparse_description(speye(2) + sparse([0 1; 1 0]));
  few = spardyn('chandleset', 1, short);
  expect_error(@() spardyn('residual', r, chandle(few), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'fewer stored columns than degrees of freedom');
  % A term checked once for five degrees of freedom is checked again for
  % three: its third column reaches row 4.
  T = spdiags(repmat([-1 2 -1], 5, 1), -1:1, 5, 5);
  t = spardyn('chandleset', 1, sparse_description(T));
  r5 = zeros(5, 1);
  spardyn('residual', r5, chandle(t), (1:5)', zeros(5, 1), zeros(5, 1));
  spardyn('residual', r5, chandle(t), (1:5)', zeros(5, 1), zeros(5, 1));
  expect_equal(r5, 2 * T * (1:5)', 'a term used twice with the same sizes');
  expect_error(@() spardyn('residual', r, chandle(t), u, u, u), ...
               'VRK:spardyn:Invalid', [], 'the same term with fewer degrees of freedom');
  good = spardyn('chandleset', 1, sparse_description(speye(3)));
  expect_error(@() spardyn('residual', r, [chandle(good) chandle(bad)], u, u, u), ...
               'VRK:spardyn:Invalid', [], 'a bad term among good ones');
  expect_equal(r, zeros(3, 1), 'every term is checked before any adds');
  spardyn('chandleclear');
end

function refused_states()
  k = spardyn('chandleset', 1, sparse_description(sparse([2 1 0; 1 2 1; 0 1 2])));
  u = ones(3, 1);
  expect_error(@() spardyn('residual', zeros(2, 1), chandle(k), u, u, u), ...
               'VRK:spardyn:WrongSize', [], 'short r');
  expect_error(@() spardyn('residual', zeros(3, 1), chandle(k), u, ones(2, 1), u), ...
               'VRK:spardyn:WrongSize', [], 'short v');
  expect_error(@() spardyn('residual', zeros(3, 1), chandle(k), u, u, ones(2, 1)), ...
               'VRK:spardyn:WrongSize', [], 'short a');
  expect_error(@() spardyn('residual', zeros(3, 1), chandle(k), u, u), ...
               'VRK:spardyn:WrongSize', [], 'missing acceleration input');
  spardyn('chandleclear');
end
