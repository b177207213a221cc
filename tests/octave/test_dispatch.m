function test_dispatch()
% The command table: exact words, fixed answers, missing inputs.
  expect_equal(spardyn(), 1.0001, 'version query');
  expect_equal(spardyn('ismex'), 1, 'ismex');
  expect_equal(spardyn('cvs'), '$Revision: 1.38 $  $Date: 2018/05/15 16:21:58 $', 'cvs');
  expect_equal(spardyn('omp'), -1, 'omp');
  expect_error(@() spardyn('ISMEX'), '', 'spardyn : Unknown command', 'upper case word');
end
