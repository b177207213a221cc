function test_module()
% The loaded module: one BLAS in the process, the description helper, and
% a reload that leaves no worker thread behind.
  single_blas();
  description_helper();
  reload_after_parallel_work();
end

function single_blas()
  spardyn('tbbp', sparse_description(speye(3000)), ones(3000, 1), zeros(3000, 1));
  maps = fileread('/proc/self/maps');
  libs = unique(regexp(maps, '/\S*(blas|lapack)\S*\.so[.0-9]*', 'match'));
  blas = libs(cellfun(@(p) ~isempty(strfind(p, 'blas')), libs));
  expect_true(~isempty(blas), 'a BLAS is loaded');
  % Debian's libblas.so.3 alternative points into OpenBLAS's directory; a
  % second, reference BLAS would live elsewhere.
  expect_true(all(cellfun(@(p) ~isempty(strfind(p, 'openblas')), blas)), ...
              sprintf('every BLAS mapped is OpenBLAS: %s', strjoin(blas, ', ')));
end

function description_helper()
  K = sparse([1 0 2; 0 0 3; 4 5 0; 0 6 0]);
  s = sparse_description(K);
  expect_equal(s.dims, [4 3], 'dims');
  expect_equal(class(s.ir), 'int32', 'int32 row indices');
  expect_equal(class(s.jc), 'int32', 'int32 column pointers');
  expect_equal(s.trans, 0, 'not transposed');
  rebuilt = sparse(double(s.ir) + 1, repelem((1:3)', diff(double(s.jc))), s.pr, 4, 3);
  expect_equal(rebuilt, K, 'the arrays describe K');
  t = sparse_description(K, true);
  expect_equal(t.dims, [4 3], 'transposed storage keeps the logical size');
  expect_equal(t.trans, 1, 'transposed flag');
  rebuilt = sparse(double(t.ir) + 1, repelem((1:4)', diff(double(t.jc))), t.pr, 3, 4);
  expect_equal(rebuilt, K.', 'the arrays describe K.''');
  e = sparse_description(sparse(3, 2));
  expect_equal(e.jc, int32([0; 0; 0]), 'no entries');
end

function reload_after_parallel_work()
  x = rand(20000, 1); s = sparse_description(speye(20000));
  y = zeros(20000, 1); spardyn('tbbp', s, x, y);
  clear spardyn;   % the worker threads must be gone before the unload
  y = zeros(20000, 1); spardyn('tbbp', s, x, y);
  expect_equal(y, x, 'the product works after a reload');
end
