function test_algebra_checks()
% The commands kept for their checks: each message, in its order, and the
% results of the cases that still return one.
  dtkt_checks();
  ta_k_tb_checks();
  igsm_checks();
  directzr_result_and_checks();
end

function dtkt_checks()
  K = sparse([2 -1 0; -1 2 -1; 0 -1 2]);
  expect_error(@() spardyn('dtkt', ones(2, 1), full(K)), '', ...
               'spardyn dtkt : b must be sparse', 'dtkt: dense k before the base size');
  expect_error(@() spardyn('dtkt', ones(3, 1), sparse(ones(3, 2))), '', ...
               'spardyn  : k must be square', 'dtkt: k not square');
  expect_error(@() spardyn('dtkt', ones(2, 1), K), '', 'base has a wrong size', ...
               'dtkt: base height');
  expect_error(@() spardyn('dtkt', ones(3, 1), K), '', 'spardyn  : reimplement for mkls', ...
               'dtkt: a base with one column');
  expect_equal(spardyn('dtkt', zeros(3, 0), K), zeros(0, 1), 'dtkt: a base without columns');
  expect_error(@() spardyn('dtkt', ones(3, 1)), 'VRK:spardyn:WrongSize', ...
               'spardyn dtkt : 2 arguments expected, 1 given', 'dtkt: no k');
end

function ta_k_tb_checks()
  K = sparse(ones(3, 4));
  expect_error(@() spardyn('ta''*k*tb', ones(2, 1), full(K), ones(5, 1)), '', ...
               'spardyn ta''*k*tb : k must be sparse', 'ta''*k*tb: dense k first');
  expect_error(@() spardyn('ta''*k*tb', ones(2, 1), K, ones(5, 1)), '', ...
               'ta and k : Wrong size', 'ta''*k*tb: ta height before tb');
  expect_error(@() spardyn('ta''*k*tb', ones(3, 1), K, ones(3, 1)), '', ...
               'k and tb :Wrong size', 'ta''*k*tb: tb height');
  expect_error(@() spardyn('ta''*k*tb', ones(3, 2), K, ones(4, 2)), '', 'ir problem', ...
               'ta''*k*tb: consistent sizes');
  expect_error(@() spardyn('ta''*k*tb', ones(3, 2), K), 'VRK:spardyn:WrongSize', ...
               'spardyn ta''*k*tb : 3 arguments expected, 2 given', 'ta''*k*tb: no tb');
end

function igsm_checks()
  K = sparse(ones(3, 4));
  expect_error(@() spardyn('igsm', ones(4, 1)), '', 'Three inputs required.', 'igsm: two inputs');
  expect_error(@() spardyn('igsm', ones(4, 1), K, 1), '', 'Three inputs required.', ...
               'igsm: four inputs');
  expect_error(@() spardyn('igsm', sparse(ones(2, 1)), full(K)), '', 'phi must be full', ...
               'igsm: sparse phi first');
  expect_error(@() spardyn('igsm', ones(2, 1), full(K)), '', 'k must be sparse', ...
               'igsm: dense k before the sizes');
  expect_error(@() spardyn('igsm', ones(3, 1), K), '', 'Inner matrix dimensions must agree.', ...
               'igsm: phi height against the columns of k');
  expect_error(@() spardyn('igsm', ones(4, 1), K), '', 'ir problem', 'igsm: phi with a column');
  expect_equal(spardyn('igsm', zeros(4, 0), K), zeros(1, 4), 'igsm: phi without columns');
end

function directzr_result_and_checks()
  a = complex(ones(3, 2), 1);
  b = complex(ones(2, 5), -1);
  r = spardyn('directzr', a, {ones(2)}, b, ones(4, 1));
  expect_equal(size(r), [3 20], 'directzr: rows(a) x rows(input 5)*cols(input 4)');
  expect_true(all(r(:) == 0), 'directzr: zeros');
  r = spardyn('directzr', a, {}, b, complex(ones(2, 7), 1));
  expect_equal(size(r), [3 10], 'directzr: a complex input 5');
  expect_error(@() spardyn('directzr', real(a), {}, b, 1), '', 'Complex numbers needed.', ...
               'directzr: real input 2');
  expect_error(@() spardyn('directzr', a, {}, real(b), 1), '', 'Complex numbers needed.', ...
               'directzr: real input 4');
  expect_error(@() spardyn('directzr', a, {}, b), 'VRK:spardyn:WrongSize', ...
               'spardyn directzr : 4 arguments expected, 3 given', 'directzr: no input 5');
end
