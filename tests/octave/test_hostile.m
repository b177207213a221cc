function test_hostile()
% Malformed or hostile arguments that reach across commands: host sparse
% matrices and complex arrays where the module reads or writes full real
% data, values nested too deep to copy, a buffer address that cannot be one,
% memory shared between the arrays of one call, and a Maxwell law whose
% output reads coefficients its checks did not cover.  Each is refused
% before anything is written.
  sparse_where_full_arrays_are_read();
  complex_where_real_arrays_are_read_or_written();
  shared_memory_in_residual_and_tbbp();
  if ~has_handles(), return; end
  spardyn('chandleclear');
  nonlinear_terms_with_complex_arrays();
  nesting_of_stored_values();
  stored_sparse_matrix_without_entries();
  buffer_address_of_an_object();
  maxwell_without_rows_reads_opt6();
  dense_transposed_matrix_of_several_rows();
  shared_memory_of_handles_in_residual();
  shared_memory_in_a_stepping_run();
  spardyn('chandleclear');
end

function K = stencil()
  K = sparse_description(sparse([2 -1 0; -1 2 -1; 0 -1 2]));
end

% A host sparse matrix keeps only its stored values: read as a full array of
% its element count it would be overrun.
function sparse_where_full_arrays_are_read()
  K = stencil();
  expect_error(@() spardyn('tbbp', K, [1; 2; 3], sparse(3, 1)), ...
               'VRK:spardyn:Invalid', 'spardyn tbbp : y must be a real full double array, not sparse', ...
               'tbbp: sparse y (no stored value)');
  y = zeros(3, 1);
  expect_error(@() spardyn('tbbp', K, sparse([1; 0; 0]), y), ...
               'VRK:spardyn:Invalid', 'spardyn tbbp : x must be a real full double array, not sparse', ...
               'tbbp: sparse x');
  expect_equal(y, zeros(3, 1), 'tbbp: y untouched');
  expect_error(@() spardyn('residual', sparse(3, 1), {K, K, K}, [1; 2; 3], ...
                           [1; 1; 1], [0; 0; 0]), ...
               'VRK:spardyn:Invalid', 'spardyn residual : r must be a real full double array, not sparse', ...
               'residual: sparse r');
end

% A complex array where the module reads or writes real values: its
% imaginary part would be dropped, and under the classic array interface a
% write lands in the host's copy and never reaches the caller.
function complex_where_real_arrays_are_read_or_written()
  K = stencil();
  y = complex(zeros(3, 1), 1);
  expect_error(@() spardyn('tbbp', K, [1; 2; 3], y), 'VRK:spardyn:Invalid', ...
               'spardyn tbbp : y must be a real full double array, not complex', 'tbbp: complex y');
  expect_equal(y, complex(zeros(3, 1), 1), 'tbbp: complex y untouched');
  expect_error(@() spardyn('tbbp', K, [1; 2; 3] + 1i, zeros(3, 1)), ...
               'VRK:spardyn:Invalid', 'spardyn tbbp : x must be a real full double array, not complex', ...
               'tbbp: complex x');
  Kc = K; Kc.pr = complex(Kc.pr, 1);
  expect_error(@() spardyn('tbbp', Kc, [1; 2; 3], zeros(3, 1)), 'VRK:spardyn:Invalid', ...
               'sparse description: field "pr" must be a real full double array, not complex', 'complex values of a description');
  expect_error(@() spardyn('setsparse', K, [], [], complex([1 2 3], 1)), ...
               'VRK:spardyn:Invalid', 'spardyn setsparse : the new values must be a real full double array, not complex', ...
               'setsparse: complex new values');
  expect_equal(K.pr, stencil().pr, 'setsparse: values untouched');

  u = [1; 2; 3]; z = zeros(3, 1);
  model = struct('K', {{K, K, K}}, 'FNL', complex(zeros(2, 1)));
  expect_error(@() spardyn('residual', z + 0, model, u, u + 0, z + 0), 'VRK:spardyn:Invalid', ...
               'spardyn residual : the model''s FNL must be a real full double array, not complex', ...
               'residual: complex FNL');
  r = zeros(3, 1);
  expect_error(@() spardyn('residual', r, {K, K, K}, u, u + 0, z + 0, [1 1i]), 'VRK:spardyn:Invalid', ...
               'spardyn residual : the Rayleigh coefficients must be a real full double array, not complex', ...
               'residual: complex Rayleigh coefficients');
  expect_equal(r, zeros(3, 1), 'residual: r untouched');
end

function nonlinear_terms_with_complex_arrays()
  K = stencil();
  u = [1; 2; 3]; z = zeros(3, 1); r = zeros(3, 1);
  C = sparse([1 0 0; 0 0 1]);
  term = struct('b', sparse_description(C, true), 'c', full(C) + 1i, 'unl', zeros(2, 1), ...
                'opt', [nl_law_code('Power'); 1; 1]);
  h = spardyn('chandleset', 1003, term);
  expect_error(@() spardyn('residual', r, chandle(h), u, u + 0, z + 0), 'VRK:spardyn:Invalid', ...
               'a matrix that is no sparse description must be a real full double array, not complex', 'non-linear term: complex dense c');
  term.c = full(C); term.opt = term.opt + 1i;
  h = spardyn('chandleset', 1003, term);
  expect_error(@() spardyn('residual', r, chandle(h), u, u + 0, z + 0), 'VRK:spardyn:Invalid', ...
               'non-linear term: "opt" must be a real full double array, not complex', 'non-linear term: complex opt');
  term.opt = real(term.opt); term.unl = complex(zeros(2, 1));
  h = spardyn('chandleset', 1003, term);
  expect_error(@() spardyn('residual', r, chandle(h), u, u + 0, z + 0), 'VRK:spardyn:Invalid', ...
               'non-linear term: "unl" must be a real full double array, not complex', 'non-linear term: complex unl');
  expect_equal(r, zeros(3, 1), 'non-linear terms: r untouched');
  spardyn('chandleclear');
end

% The copy of a stored value, and the host's conversion and release of it,
% recurse once per level.
function nesting_of_stored_values()
  x = 7;
  for k = 1:256, x = {x}; end
  h = spardyn('chandleset', 2, x);
  y = spardyn('chandleget', h);
  depth = 0;
  while iscell(y) && numel(y) == 1, y = y{1}; depth = depth + 1; end
  expect_equal([depth y], [256 7], '256 levels are stored and read back');
  before = spardyn('chandleget');
  expect_error(@() spardyn('chandleset', 2, {x}), 'VRK:spardyn:Invalid', ...
               'value nested more than 256 levels deep', 'cells nested 257 levels');
  s = struct('a', 1);
  for k = 1:300, s = struct('a', s); end
  expect_error(@() spardyn('chandleset', 1, s), 'VRK:spardyn:Invalid', ...
               'value nested more than 256 levels deep', 'structures nested 301 levels');
  after = spardyn('chandleget');
  expect_equal(numel(after), numel(before), 'nothing registered by the refusals');
  spardyn('chandleclear');
end

% Found by the hostile run (seed 7, calls 3123, 8180 and nine others): a
% stored Octave sparse matrix without any entry, alone or in a field, read
% back twice; the host's own duplicate of it wrote past its allocation and
% the process aborted.
function stored_sparse_matrix_without_entries()
  values = {sparse(6, 6), struct('pr', 1, 'data', sparse(3, 0)), ...
            {sparse(true(0, 2)), sparse([0 0; 0 1i])}};
  for k = 1:numel(values)
    h = spardyn('chandleset', 2000, values{k});
    for read = 1:3
      x = spardyn('chandleget', h);
    end
    expect_equal(x, values{k}, sprintf('stored sparse value %d read back', k));
    spardyn('chandleclear', h);
  end
end

% The address in an object's property "c" is used only when the whole range
% the command reads and writes there is mapped readable and writable; one
% not aligned for a double is no buffer of doubles.  The fixture's buffers
% end where an inaccessible page begins.
function buffer_address_of_an_object()
  K = stencil(); M = {K, K, K};
  u = [1; 2; 3]; v = [1; 1; 1]; a = [0; 0; 0];
  expect_error(@() spardyn('residual', buffer_object(uint8(1:8)), M, u, v, a), 'VRK:spardyn:Invalid', ...
               'object of class buffer_object holds no buffer address in its property "c"', ...
               'residual: misaligned buffer address');
  unmapped = {1.1e12, uint64(1.1e12), uint64(4096), typecast(uint64(2)^63, 'double')};
  for k = 1:numel(unmapped)
    c = unmapped{k};
    address = sprintf('0x%s', lower(dec2hex(typecast(c, 'uint64'))));
    expect_error(@() spardyn('residual', buffer_object(c), M, u, v, a), 'VRK:spardyn:Invalid', ...
                 ['spardyn residual : r: no buffer of 3 values is mapped readable and writable at ' address], ...
                 sprintf('residual: unmapped address %s', address));
  end
  h = spardyn('chandleset', 1, K);
  for n = [2 3]
    b = buffer_object(buffer_fixture('new', n));
    if n < 3
      expect_error(@() spardyn('residual', b, M, u, v, a), 'VRK:spardyn:Invalid', [], ...
                   'matrix mode: a buffer of 2 values for 3');
      expect_error(@() spardyn('residual', b, chandle(h), u, v, a), 'VRK:spardyn:Invalid', [], ...
                   'handle mode: a buffer of 2 values for 3');
      expect_equal(buffer_fixture('get'), [0; 0], 'the short buffer untouched');
    else
      spardyn('residual', b, chandle(h), u, v, a);
      expect_equal(buffer_fixture('get'), [0; 0; 4], 'a buffer of exactly 3 values: K*u');
    end
  end
  buffer_fixture('readonly');
  expect_error(@() spardyn('residual', b, M, u, v, a), 'VRK:spardyn:Invalid', [], ...
               'a read-only buffer');
  buffer_fixture('free');
  expect_error(@() spardyn('residual', b, chandle(h), u, v, a), 'VRK:spardyn:Invalid', [], ...
               'a buffer released by its owner');
  spardyn('chandleclear');
  buffers_of_a_non_linear_term();
end

% unl, vnl and snl as objects: checked over what the law uses of them.  A
% table of 3 value columns writes 3 outputs per observed value.
function buffers_of_a_non_linear_term()
  n = 3;
  tab = [0 0 0 0; 1 10 20 30];                     % S = [10 20 30] * U
  opt = [nl_law_code('Table'); 0; tab(:); 0; 0; 0];
  iopt = int32([-1 0 0 0 0 2 10 2 3]);             % table at opt(3), cursor at opt(11)
  term = struct('b', sparse_description(sparse(1, 2, 1, 1, n), true), ...
                'c', sparse_description(sparse(1, 2, 1, 1, n), true), ...
                'opt', opt, 'iopt', iopt);
  u = [0; 0.5; 0]; z = zeros(n, 1);
  for slots = [2 3]
    t = term;
    t.unl = buffer_object(buffer_fixture('new', 1, 1));
    t.snl = buffer_object(buffer_fixture('new', slots, 2));
    h = spardyn('chandleset', 1003, t);
    r = zeros(n, 1);
    if slots < 3
      expect_error(@() spardyn('residual', r, chandle(h), u, z + 0, z + 0), 'VRK:spardyn:Invalid', ...
                   'non-linear term "snl": no buffer of 3 values is mapped readable and writable at ' ...
                   , 'table outputs into a buffer of 2 values', true);
      expect_equal(r, z, 'r untouched');
    else
      spardyn('residual', r, chandle(h), u, z + 0, z + 0);
      expect_equal(buffer_fixture('get', 1), 0.5, 'unl in a shared buffer: c*u');
      expect_equal(buffer_fixture('get', 2), [5; 10; 15], 'snl in a shared buffer: 3 outputs');
      expect_equal(r, [0; 5; 0], 'b'' * snl');
    end
    spardyn('chandleclear', h);
  end
  t = term; t.unl = zeros(1, 1); t.snl = zeros(3, 1);
  t.vnl = buffer_object(buffer_fixture('new', 1, 3));
  buffer_fixture('free', 3);
  h = spardyn('chandleset', 1003, t);
  expect_error(@() spardyn('residual', zeros(n, 1), chandle(h), u, z + 0, z + 0), 'VRK:spardyn:Invalid', ...
               'non-linear term "vnl": no buffer of 1 values is mapped readable and writable at ', ...
               'vnl released by its owner', true);
  buffer_fixture('free');
  spardyn('chandleclear');
end

% Maxwell law with a block stride of 0: no rows, one state, but the output
% S(1) = Cu(1)*U(1) + Cv(1)*V(1) still reads opt(6) for both coefficients.
function maxwell_without_rows_reads_opt6()
  n = 3;
  C = sparse([1 2], [1 3], [1 1], 2, n);          % observe DOF 1, state in DOF 3
  term = struct('b', sparse_description(sparse(1, 1, 1, 2, n), true), ...
                'c', sparse_description(C, true), ...
                'unl', zeros(2, 1, 3), 'vnl', zeros(2, 1, 3), 'snl', zeros(2, 1), ...
                'opt', [nl_law_code('Maxw'); 0; 0.1; 1; 0], ...
                'iopt', int32([-1 0 0 1 1]));
  u = [0.5; 0; 0]; v = [0.25; 0; 0];
  for nOpt = [4 5]
    t = term; t.opt = t.opt(1:nOpt);
    h = spardyn('chandleset', 1003, t);
    r = zeros(n, 1);
    expect_error(@() spardyn('residual', r, chandle(h), u, v, zeros(n, 1)), ...
                 'VRK:spardyn:WrongSize', sprintf('Maxw: opt holds %d values, needs 6', nOpt), ...
                 sprintf('Maxw, stride 0, opt of %d values', nOpt));
    expect_equal(r, zeros(n, 1), 'r untouched');
  end
  term.opt(6) = 2;                                  % Cu(1) = Cv(1) = 2
  h = spardyn('chandleset', 1003, term);
  r = zeros(n, 1);
  spardyn('residual', r, chandle(h), u, v, zeros(n, 1));
  expect_equal(r, [2 * (0.5 + 0.25); 0; 0], 'stride 0: S = opt(6)*(u1 + v1)');
  spardyn('chandleclear');
end

% A dense matrix in transposed storage is taken as one row of M: the
% injection of a two-row b would have left the second output out.
function dense_transposed_matrix_of_several_rows()
  n = 4;
  C = sparse([1 2], [1 2], [1 1], 2, n);
  term = struct('b', struct('pr', [1 0 0 0 0 1 0 0], 'dims', [2 n], 'trans', 1), ...
                'c', sparse_description(C, true), 'unl', zeros(2, 1), ...
                'opt', [nl_law_code('Power'); 1; 1]);
  h = spardyn('chandleset', 1003, term);
  r = zeros(n, 1);
  expect_error(@() spardyn('residual', r, chandle(h), (1:n)', zeros(n, 1), zeros(n, 1)), ...
               'VRK:spardyn:Invalid', ['non-linear term "b": a dense matrix in transposed ' ...
               'storage must have one row, it has 2'], 'dense transposed b of two rows');
  expect_equal(r, zeros(n, 1), 'r untouched');
  term.b = struct('pr', [3 0 0 0], 'dims', [1 n], 'trans', 1);
  term.c = sparse_description(sparse(1, 1, 1, 1, n), true);
  term.unl = 0;
  h = spardyn('chandleset', 1003, term);
  spardyn('residual', r, chandle(h), (1:n)' + 1, zeros(n, 1), zeros(n, 1));
  expect_equal(r, [6; 0; 0; 0], 'one row: b''*snl = 3*u1');
  % "dims" alone may claim any width: nothing is sized from it before it is
  % checked against r (a scatter buffer of 2·10^9 values was allocated).
  term.b = sparse_description(sparse(1, 1, 1, 1, n), true);
  term.b.dims = [1 2e9];
  h = spardyn('chandleset', 1003, term);
  expect_error(@() spardyn('residual', r, chandle(h), (1:n)' + 1, zeros(n, 1), zeros(n, 1)), ...
               'VRK:spardyn:WrongSize', 'non-linear term "b": the result needs 2000000000 values, holds 4', ...
               'b claiming 2e9 columns');
  % A spring-slider observes a pair (Nnl = 2) and writes the first output
  % only: a dense row b of Ndof values injects exactly that one.  (The
  % Windows x64 module's slider is a chain of another form.)
  if ~strcmp(flavor(), 'win64')
    t = nl_slider(3, [1 0], 3, 100, 0.5);
    t.b = struct('pr', [1 0 0], 'trans', 1, 'dims', [1 3]);
    h = spardyn('chandleset', 1003, t);
    r = zeros(3, 1);
    spardyn('residual', r, chandle(h), [0.004; 0; 0], zeros(3, 1), zeros(3, 1), ...
            struct('Rayleigh', [0 0], 'tc', 1e-3));
    expect_near(r, [0.4; 0; 0], 1e-14, 'slider with a dense row b (Nnl = 2): 100*0.004');
  end
  spardyn('chandleclear');
end

% The host shares memory between a variable and its copies, and between an
% array and a contiguous slice of it (x(1:3)): an array written while the
% same memory is read under another name would be silently wrong.
function shared_memory_in_residual_and_tbbp()
  K = stencil();
  y = [1; 2; 3; 4];
  r = y(1:3); u = y(2:4);                           % overlapping slices
  expect_error(@() spardyn('residual', r, {K, K, K}, u, [1; 1; 1], [0; 0; 0]), ...
               'VRK:spardyn:Invalid', 'spardyn residual: r and u share their data', ...
               'residual: r and u overlap');
  expect_equal(y, [1; 2; 3; 4], 'residual: the shared array untouched');

  phi = [1 0; 0 1; 1 1];
  r = zeros(4, 1);
  modal = struct('def', phi, 'data', r);            % scratch in r's memory
  if ~strcmp(flavor(), 'win32')  % there r's 4 rows would be the DOFs
    expect_error(@() spardyn('residual', r, {K, modal, K}, [1; 2; 3], [1; 1; 1], [0; 0; 0]), ...
                 'VRK:spardyn:Invalid', ...
                 'spardyn residual: r and the modal damping scratch ("data") share their data', ...
                 'residual: modal scratch in r');
  end
  expect_equal(r, zeros(4, 1), 'residual: r untouched');
  v = [1; 1; 1; 1]; modal.data = v;
  expect_error(@() spardyn('residual', zeros(3, 1), {K, modal, K}, [1; 2; 3], v, [0; 0; 0]), ...
               'VRK:spardyn:Invalid', ...
               'spardyn residual: the modal damping scratch ("data") and v share their data', ...
               'residual: modal scratch in v');

  x = (1:6)';
  expect_error(@() spardyn('tbbp', K, x(1:3), x(2:4)), 'VRK:spardyn:Invalid', ...
               'spardyn tbbp: y and x share their data', 'tbbp: y overlaps x');
  expect_equal(x, (1:6)', 'tbbp: x untouched');
  Ks = stencil();
  expect_error(@() spardyn('tbbp', Ks, [1; 2; 3], Ks.pr), 'VRK:spardyn:Invalid', ...
               'spardyn tbbp: y and k share their data', 'tbbp: y is k''s values');
  expect_equal(Ks.pr, stencil().pr, 'tbbp: k untouched');
end

function shared_memory_of_handles_in_residual()
  h = spardyn('chandleset', 1, stencil());
  y = [1; 2; 3; 4];
  expect_error(@() spardyn('residual', y(2:4), chandle(h), y(1:3), [1; 1; 1], [0; 0; 0]), ...
               'VRK:spardyn:Invalid', 'spardyn residual: r and u share their data', ...
               'residual of handles: r and u overlap');
  expect_equal(y, [1; 2; 3; 4], 'residual of handles: the shared array untouched');
  spardyn('chandleclear');
end

function sim = dahl_sim(ndof)
  t = 0:1e-3:0.01;
  term = nl_dahl(ndof, [1 0], ndof, 0.4, 5000);
  sim = newmark_setup(speye(ndof), sparse(1, 1, 100, ndof, ndof), [1; zeros(ndof - 1, 1)], ...
                      t, @(t) sin(2 * pi * 3 * t), 'terms', {term}, ...
                      'save', t(3), 'quiet', true);
end

function refused_run(sim, message, label)
  u0 = sim.u + 0;
  expect_error(@() spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, ...
                           sim.a, sim.rayleigh, sim.out, sim.store), ...
               'VRK:spardyn:Invalid', message, label);
  expect_equal(sim.u, u0, [label ': u untouched']);
end

function shared_memory_in_a_stepping_run()
  sim = dahl_sim(3);
  u = sim.u; sim.store.def = u;                     % one snapshot column: u itself
  refused_run(sim, 'Newmark stepper: u and the storage def share their data', ...
              'snapshots into u');
  sim = dahl_sim(3);
  f = zeros(2, 1); sim.model.FNL = f; sim.out.uva.FNL = f;
  sim.store = rmfield(sim.store, 'FNL');            % no force snapshots to size
  refused_run(sim, 'Newmark stepper: the step output uva.FNL and the model''s FNL share their data', ...
              'forces copied onto themselves');
  sim = dahl_sim(3);
  z = zeros(2, 1, 2);
  sim.handles{end}.unl = z; sim.handles{end}.vnl = z;  % rates observed over displacements
  refused_run(sim, 'non-linear term: "vnl" and "unl" share their data', ...
              'Dahl term: unl and vnl one array');
  sim = dahl_sim(3);
  sim.handles{end}.snl = sim.handles{end}.vnl;
  refused_run(sim, 'non-linear term: "vnl" and "snl" share their data', ...
              'Dahl term: forces over the rates');
  sim = dahl_sim(3);
  sim.model.FNL = zeros(4, 1); sim.handles{end}.snl = sim.model.FNL;
  refused_run(sim, 'non-linear term: "snl" and the model''s FNL share their data', ...
              'Dahl term: forces in the model''s FNL');

  % Two Maxwell mounts made from one structure keep the start of their step
  % in the same slice 3: each would advance the other's state.
  nd = 4; tt = 0:1e-3:0.01;
  mount = nl_maxwell(nd, [1 0], 10, [3 4], [0.1 0.2], 1e-3);
  other = mount;
  other.c = sparse_description([sparse(1, 2, 1, 1, nd); sparse(2, nd)], true);
  other.b = other.c;
  sim = newmark_setup(speye(nd), speye(nd), [1; 0; 0; 0], tt, ones(size(tt)), ...
                      'terms', {mount, other}, 'quiet', true);
  refused_run(sim, 'handles 4 and 5 keep their states in the same memory (slice 3 of "unl")', ...
              'two Maxwell mounts, one state');
  other.unl = other.unl + 0; other.vnl = other.vnl + 0;
  sim = newmark_setup(speye(nd), speye(nd), [1; 0; 0; 0], tt, ones(size(tt)), ...
                      'terms', {mount, other}, 'quiet', true);
  spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, sim.a, ...
          sim.rayleigh, sim.out, sim.store);
  expect_true(sim.u(1) ~= 0, 'two Maxwell mounts with states of their own run');

  % The same term with its own buffers runs, and snl may be unl itself.
  sim = dahl_sim(3);
  sim.handles{end}.snl = sim.handles{end}.unl;
  spardyn('chandlediagnewmark', sim.handles, sim.model, sim.u, sim.v, sim.a, ...
          sim.rayleigh, sim.out, sim.store);
  ref = dahl_sim(3);
  ref.handles{end} = rmfield(ref.handles{end}, 'snl');
  spardyn('chandlediagnewmark', ref.handles, ref.model, ref.u, ref.v, ref.a, ...
          ref.rayleigh, ref.out, ref.store);
  expect_true(any(sim.u ~= 0), 'snl sharing unl: the run moves');
  expect_equal(sim.u, ref.u, 'snl sharing unl: as without snl');
end
