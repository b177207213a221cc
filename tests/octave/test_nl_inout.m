function test_nl_inout()
% The non-linear input/output term through "residual": observation c*u and
% c*v, the law, injection b'*snl, against Octave's own algebra; the
% structure's messages in order; checks made before anything is written.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  spardyn('chandleclear');
  observe_and_inject();
  buffers_shared_or_missing();
  messages_of_the_structure();
  sizes_against_the_record();
  smaller_matrices_inside_the_arrays();
  stateful_term_through_residual();
  buffer_shared_with_an_object();
  spardyn('chandleclear');
end

function r = residual_of(term, r, u, v, varargin)
  h = spardyn('chandleset', 1003, term);
  spardyn('residual', r, chandle(h), u, v, zeros(size(u)), varargin{:});
  spardyn('chandleclear', h);
end

function t = power_term(B, C, p)
  n = size(C, 1);
  t = struct('b', sparse_description(B), 'c', sparse_description(C, true), ...
             'unl', zeros(n, 1), 'vnl', zeros(n, 1), 'snl', zeros(n, 1), ...
             'opt', [nl_law_code('Power'); p(:)], 'iopt', int32(-1));
end

function observe_and_inject()
  rand('seed', 5); randn('seed', 5);
  n = 300; m = 7;
  C = sprandn(m, n, 0.05); B = sprandn(m, n, 0.05);
  u = randn(n, 1); v = randn(n, 1); r0 = randn(n, 1);
  f = 2 * (C * u).^3;
  expected = r0 + B.' * f;
  t = power_term(B, C, [2 3]);
  h = spardyn('chandleset', 1003, t);
  r = r0 + 0;
  spardyn('residual', r, chandle(h), u, v, zeros(n, 1));
  expect_near(r, expected, 1e-13, 'r + b''*(2*(c*u).^3)');
  s = spardyn('chandleget', h);
  expect_near(s.unl, C * u, 1e-14, 'unl holds c*u');
  expect_near(s.vnl, C * v, 1e-14, 'vnl holds c*v');
  expect_near(s.snl, f, 1e-13, 'snl holds the forces');
  spardyn('residual', r, chandle(h), u, v, zeros(n, 1));
  expect_near(r, 2 * expected - r0, 1e-13, 'a memoryless term adds again');
  s = spardyn('chandleget', h);
  expect_near(s.unl, C * u, 1e-14, 'slice 1 is cleared before each product');
  spardyn('chandleclear', h);

  t.b = sparse_description(B, true);  % scattered instead of gathered
  expect_near(residual_of(t, r0 + 0, u, v), expected, 1e-13, 'b in transposed storage');
  t.c = full(C);                      % dense observation
  expect_near(residual_of(t, r0 + 0, u, v), expected, 1e-13, 'dense c');
  t.b = struct('dims', [m n]);        % a b without values injects nothing
  expect_equal(residual_of(t, r0 + 0, u, v), r0, 'b without values');

  % Two terms in one vector, one registered and one of a cell list.
  t2 = power_term(B(1:3, :), C(1:3, :), [1 1]);
  h = [chandle(spardyn('chandleset', 1003, power_term(B, C, [2 3]))) ...
       chandle(spardyn('chandleset', 1003, t2))];
  r = r0 + 0;
  spardyn('residual', r, h, u, v, zeros(n, 1));
  expect_near(r, expected + B(1:3, :).' * (C(1:3, :) * u), 1e-13, 'two terms add');
  spardyn('chandleclear');
end

function buffers_shared_or_missing()
  n = 5;
  C = sparse([1 2], [2 4], [1 1], 2, n); B = sparse([1 2], [1 5], [1 -1], 2, n);
  u = (1:n)'; v = -u;
  t = rmfield(power_term(B, C, [3 2]), {'snl', 'vnl'});
  h = spardyn('chandleset', 1003, t);
  r = zeros(n, 1);
  spardyn('residual', r, chandle(h), u, v, zeros(n, 1));
  s = spardyn('chandleget', h);
  expect_equal(s.unl, [12; 48], 'without snl the forces overwrite unl');
  expect_equal(r, [12; 0; 0; 0; -48], 'and are injected from there');
  expect_true(~isfield(s, 'vnl'), 'without vnl no rate is observed');
  spardyn('chandleclear', h);

  t = power_term(B, C, [1 1]);
  t.unl = zeros(2, 1, 3);  % 2 values per slice, 3 slices
  t.vnl = zeros(2, 1, 3);
  h = spardyn('chandleset', 1003, t);
  spardyn('residual', zeros(n, 1), chandle(h), u, v, zeros(n, 1));
  s = spardyn('chandleget', h);
  expect_equal(s.unl(:)', [2 4 0 0 0 0], 'only slice 1 is observed');
  expect_equal(s.vnl(:)', [-2 -4 0 0 0 0], 'likewise for the rates');
  spardyn('chandleclear', h);
end

function expect_term_error(t, id, msg, label)
  n = 4;
  h = spardyn('chandleset', 1003, t);
  r = ones(n, 1);
  expect_error(@() spardyn('residual', r, chandle(h), zeros(n, 1), zeros(n, 1), ...
                           zeros(n, 1)), id, msg, label);
  expect_equal(r, ones(n, 1), [label ': r untouched']);
  spardyn('chandleclear', h);
end

function messages_of_the_structure()
  E = sparse([1 2 3 4], 1:4, 1, 4, 4);
  good = power_term(E, E, [1 1]);
  expect_term_error(rmfield(good, 'opt'), 'VRK:spardyn:empty', 'ReportEB opt', 'no opt');
  t = good; t.opt = [];
  expect_term_error(t, 'VRK:spardyn:empty', 'ReportEB opt', 'empty opt');
  t = good; t.iopt = -1;
  expect_term_error(t, 'VRK:spardyn:conform', 'iopt must be int32', 'double iopt');
  t = good; t.opt = t.opt(1:2);
  expect_term_error(t, 'VRK:spardyn:empty', 'FuPower requires 3 parameters', 'Power, 2 values');
  t = good; t.opt(1) = 491328597841;
  expect_term_error(t, 'VRK:spardyn:empty', 'Unknown .opt(1) choice', 'one above Power');
  t = good; t.opt(1) = sum(double('STS') .* 256 .^ (0:2));
  expect_term_error(t, 'VRK:spardyn:empty', 'Unknown .opt(1) choice', 'STS in upper case');
  t = good; t.opt = [nl_law_code('DahlC'); 0; 1; 1; 1; 1; 1]; t.iopt = int32([-1 0 1 1 2]);
  expect_term_error(t, 'VRK:spardyn:empty', 'Incorrect unl', 'Dahl with a 4x1 unl');
  t.unl = zeros(4, 1, 3); t.vnl = zeros(4, 1, 3);
  h = spardyn('chandleset', 1003, t);
  spardyn('residual', zeros(4, 1), chandle(h), zeros(4, 1), zeros(4, 1), zeros(4, 1));
  record_result(true, 'Dahl with a 4x1x3 unl is accepted');
  spardyn('chandleclear', h);
  t = good; t.opt(1) = nl_law_code('Maxw');
  expect_term_error(t, '', 'Need unlj1 as last dim', 'Maxwell with one slice');
  t = good; t.b = E;
  expect_term_error(t, '', 'ir must be int32', 'host sparse b');
  t = good; t.c = sparse_description(E);
  expect_term_error(t, '', 'Prod_Mt_u implemented for transposed sparse matrices', 'c not transposed');
  t = good; t.b = full(E);
  expect_term_error(t, '', 'Add_Mt_u implemented for sparse matrices', 'dense b');
  expect_term_error(rmfield(good, 'b'), 'VRK:spardyn:empty', ...
                    'non-linear term: field "b" is missing', 'no b');
  t = good; t.unl = zeros(2, 2, 1, 2);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term: "unl" must have 2 or 3 dimensions', '4-D unl');
  t = good; t.unl = {1};
  expect_term_error(t, 'VRK:spardyn:Invalid', ...
                    'non-linear term: "unl" must be a real full double array or an object sharing its buffer, not cell', 'cell unl');
  expect_term_error(42, 'VRK:spardyn:empty', 'non-linear term: field "b" is missing', 'not a structure');
end

function sizes_against_the_record()
  E = sparse([1 2 3 4], 1:4, 1, 4, 4);
  good = power_term(E, E, [1 1]);
  % c and b are refused only where a product would leave an array: c
  % reading beyond u or writing beyond slice 1, b reading beyond the
  % outputs or adding beyond r.
  t = good; t.c = sparse_description([E sparse(4, 1)], true);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "c": the input vector needs 5 values, holds 4', 'c wider than u');
  t = good; t.c = sparse_description([E; sparse(1, 4)], true);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "c": the result needs 5 values, holds 4', 'c taller than slice 1');
  t = good; t.c = [full(E) zeros(4, 1)];
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "c": the input vector needs 5 values, holds 4', 'dense c wider than u');
  t = good; t.b = sparse_description([E; sparse(1, 4)]);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "b": the input vector needs 5 values, holds 4', 'b of more rows than outputs');
  t = good; t.b = sparse_description([E sparse(4, 1)], true);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "b": the result needs 5 values, holds 4', 'b wider than r');
  t = good; t.b = struct('pr', [1 2 3 4 5], 'dims', [1 5], 'trans', 1);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ...
                    'non-linear term "b": the result needs 5 values, holds 4', 'dense row b wider than r');
  t = good; t.vnl = zeros(3, 1);
  expect_term_error(t, 'VRK:spardyn:WrongSize', 'FuPower: vnl holds 3 values, needs 4', 'vnl too short');
  t = good; t.snl = zeros(3, 1);
  expect_term_error(t, 'VRK:spardyn:WrongSize', 'FuPower: snl holds 3 values, needs 4', 'snl too short');
  t = good; t.c.ir(2) = 7;
  expect_term_error(t, 'VRK:spardyn:Invalid', [], 'a row index of c beyond u');
  % States written back beyond the end of u.
  t = nl_dahl(4, [1 0], 4, 1, 10);
  t.iopt(5) = 2;  t.unl = zeros(4, 1, 2); t.vnl = t.unl; t.snl = zeros(4, 1);
  t.b = sparse_description(sparse(4, 4)); t.c = sparse_description(sparse(4, 4), true);
  expect_term_error(t, 'VRK:spardyn:WrongSize', ['u holds 4 values, the term writes ' ...
                    'its states up to position 4 (iopt[1], iopt[3], iopt[4])'], 'states beyond u');
  % The first term of a vector is checked with the others before any adds.
  k = spardyn('chandleset', 1, sparse_description(speye(4)));
  bad = good; bad.snl = zeros(1, 1);
  h = spardyn('chandleset', 1003, bad);
  r = ones(4, 1);
  expect_error(@() spardyn('residual', r, [chandle(k) chandle(h)], ones(4, 1), ...
                           zeros(4, 1), zeros(4, 1)), 'VRK:spardyn:WrongSize', [], 'bad second term');
  expect_equal(r, ones(4, 1), 'the stiffness before it added nothing');
  spardyn('chandleclear');
end

% Two Dahl joints: the time of the evaluation ("tc") becomes the increment,
% and each joint's friction state goes to its own place in u.
% Shapes smaller than Nnl x Ndof stay inside the arrays: a c of fewer
% columns observes the first DOFs, a c of fewer rows leaves the rest of slice
% 1 at zero, a b of fewer rows injects the first outputs, and a dense row
% stored transposed ("trans" 1, "dims" [1 Ndof]) injects the first output only.
function smaller_matrices_inside_the_arrays()
  rand('seed', 9); randn('seed', 9);
  n = 5; m = 3;
  C = sprandn(m, n, 0.6) + sparse(1:m, 1:m, 1, m, n);
  B = sprandn(m, n, 0.6) + sparse(1:m, 1:m, 1, m, n);
  u = randn(n, 1); r0 = randn(n, 1);
  p = [2 1];                                     % S = 2*U
  Cn = C(:, 1:n - 2);                            % the last two DOFs unobserved
  t = power_term(B, C, p); t.c = sparse_description(Cn, true);
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + B.' * (2 * Cn * u(1:n - 2)), 1e-13, ...
              'c of fewer columns than Ndof');
  t = power_term(B, C, p); t.c = full(Cn);
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + B.' * (2 * Cn * u(1:n - 2)), 1e-13, ...
              'dense c of fewer columns than Ndof');
  t = power_term(B, C, p); t.c = sparse_description(C(1:2, :), true);
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + B(1:2, :).' * (2 * C(1:2, :) * u), 1e-13, ...
              'c of fewer rows than Nnl: the third output is 2*0');
  t = power_term(B, C, p); t.b = sparse_description(B(1:2, :));
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + B(1:2, :).' * (2 * C(1:2, :) * u), 1e-13, ...
              'b of fewer rows than Nnl');
  t = power_term(B, C, p); t.b = sparse_description(B(:, 1:n - 1), true);
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + [B(:, 1:n - 1).' * (2 * C * u); 0], 1e-13, ...
              'b of fewer columns than Ndof');
  row = [3 -1 0 2 5];
  t = power_term(B, C, p); t.b = struct('pr', row, 'trans', 1, 'dims', [1 n]);
  S = 2 * C * u;
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + row.' * S(1), 1e-13, ...
              'dense transposed row b with Nnl = 3: the first output only');
  t.b.dims = [1 n - 2]; t.b.pr = row(1:n - 2);
  expect_near(residual_of(t, r0 + 0, u, u + 1), r0 + [row(1:n - 2).' * S(1); 0; 0], 1e-13, ...
              'dense transposed row b of fewer columns than Ndof');
end

function stateful_term_through_residual()
  n = 4; ndof = n + 2;  % two friction states after the model's DOFs
  t = nl_dahl(ndof, [1 0; 2 3], n + 1, 0.5, 10);
  h = spardyn('chandleset', 1003, t);
  u = [0; 0; 0; 0; 0.1; -0.2];     % initial friction states 0.1, -0.2
  v = [1; -2; 1; 0; 0; 0];         % slip rates 1 and -3
  r = zeros(ndof, 1);
  spardyn('residual', r, chandle(h), u, v, zeros(ndof, 1), struct('tc', 0.01));
  z = [0.1 + 1 * 0.01 * 10 * (1 - 0.1 / 0.5); -0.2 - 3 * 0.01 * 10 * (1 - 0.2 / 0.5)];
  expect_near(u(5:6), z, 1e-15, 'each state in its own place');
  expect_near(r, [z(1); z(2); -z(2); 0; 0; 0], 1e-15, 'friction forces on the DOFs');
  s = spardyn('chandleget', h);
  expect_equal(s.opt(3), 0.01, 'the first evaluation time is kept as increment');
  spardyn('residual', r, chandle(h), u, v, zeros(ndof, 1), struct('tc', 5));
  s = spardyn('chandleget', h);
  expect_equal(s.opt(3), 0.01, 'and not replaced later');
  z2 = z + [1; -3] * 0.01 * 10 .* (1 - abs(z) / 0.5);
  expect_near(u(5:6), z2, 1e-15, 'the second evaluation starts from the stored states');
  spardyn('chandleclear', h);
end

% unl as an object sharing its buffer: the observation and the forces are
% visible to the host at once.  Such an object counts as one value.
function buffer_shared_with_an_object()
  n = 3;
  t = power_term(sparse([1], [2], 1, 1, n), sparse([1 1], [1 3], [1 1], 1, n), [2 2]);
  t = rmfield(t, {'snl', 'vnl'});
  t.unl = buffer_object(buffer_fixture('new', 1));
  h = spardyn('chandleset', 1003, t);
  r = zeros(n, 1);
  spardyn('residual', r, chandle(h), [1; 5; 2], zeros(n, 1), zeros(n, 1));
  expect_equal(buffer_fixture('get'), 18, 'forces written into the shared buffer');
  expect_equal(r, [0; 18; 0], 'and injected from it');
  spardyn('chandleclear', h);
  t.vnl = t.unl;  % rates into the same buffer: the displacement comes last
  h = spardyn('chandleset', 1003, t);
  spardyn('residual', zeros(n, 1), chandle(h), [1; 5; 2], [7; 7; 7], zeros(n, 1));
  expect_equal(buffer_fixture('get'), 18, 'rates and displacements sharing a buffer');
  spardyn('chandleclear', h);
  buffer_fixture('free');
end
