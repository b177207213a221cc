function test_win32_commands()
% The earlier command set of the Windows x86 module: no handle commands and
% no "nlv1", its own revision, "c<-a'*b" size errors without identifier;
% the commands it shares answer as in the other flavours.
  missing_commands();
  revision();
  transposed_product_sizes();
  host_sparse_matrices();
end

function missing_commands()
  x = [1 2 3] + 0;
  for word = {'chandleset', 'chandleget', 'chandleclear', 'chandlediagnewmark', 'nlv1'}
    expect_error(@() spardyn(word{1}, 1003, struct()), '', 'spardyn : Unknown command', ...
                 sprintf('"%s" is unknown', word{1}));
    expect_error(@() spardyn(word{1}), '', 'spardyn : Unknown command', ...
                 sprintf('"%s" without arguments is unknown', word{1}));
  end
  expect_error(@() spardyn('nlv1', x), '', 'spardyn : Unknown command', 'nlv1 with its argument');
  expect_equal(x, [1 2 3], 'nlv1 changes nothing');
  % The rest of the table answers.
  expect_equal(spardyn(), 1.0001, 'version');
  expect_equal(spardyn('ismex'), 1, 'ismex');
  expect_equal(spardyn('omp'), -1, 'omp');
  y = zeros(3, 1);
  spardyn('tbbp', sparse_description(speye(3)), [1; 2; 3], y);
  expect_equal(y, [1; 2; 3], 'tbbp');
  expect_equal(spardyn('directzr', 1i * ones(2, 3), {}, 1i * ones(4, 2), ones(3, 1)), ...
               complex(zeros(2, 6)), 'directzr');
  expect_error(@() spardyn('igsm', 1), '', 'Three inputs required.', 'igsm');
  expect_error(@() spardyn('residual', zeros(3, 1)), 'VRK:spardyn:WrongSize', [], ...
               'residual with one argument');
end

function revision()
  expect_equal(spardyn('cvs'), '$Revision: 1.20 $  $Date: 2016/06/03 08:28:07 $', 'cvs');
  expect_error(@() spardyn('CVS'), '', 'spardyn : Unknown command', 'CVS');
end

% Both height errors carry no identifier here.
function transposed_product_sizes()
  b = sparse([1 0 0 2; 0 3 0 0; 0 0 0 4]);
  a = [1 2; 3 4; 5 6];
  msg = 'spardyn c<-a''*b : vector a has a wrong size';
  expect_error(@() spardyn('c<-a''*b', ones(4, 2), sparse_description(b)), '', msg, ...
               'c<-a''*b: wrong height, not transposed');
  expect_error(@() spardyn('c<-a''*b', ones(4, 2), sparse_description(b.', true)), '', msg, ...
               'c<-a''*b: wrong height, transposed');
  expect_equal(spardyn('c<-a''*b', a, sparse_description(b)), full(a.' * b), ...
               'c<-a''*b: the product itself');
  c = zeros(2, 4);
  spardyn('c<-a''*b', a, sparse_description(b), c);
  expect_equal(c, full(a.' * b), 'c<-a''*b: into a target');
end

% Octave indexes its sparse matrices with 64 bits: they are refused here as
% in the other flavours (a host with 32-bit indices has them read in place).
function host_sparse_matrices()
  K = sparse([2 -1; -1 2]);
  expect_error(@() spardyn('tbbp', K, [1; 1], zeros(2, 1)), '', 'ir must be int32', 'tbbp');
  expect_error(@() spardyn('c<-a''*b', eye(2), K), '', 'ir must be int32', 'c<-a''*b');
  expect_error(@() spardyn('residual', zeros(2, 1), {K, K, K}, [1; 1], [1; 1], [1; 1]), ...
               '', 'ir must be int32', 'residual');
end
