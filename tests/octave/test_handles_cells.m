function test_handles_cells()
% Handle vectors given as cells of structures (the stepper's form): terms
% made for one call from the caller's structures, and refused elements.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  c = small_run();
  before = c.M.ir + 0;  % a copy: the marker is written into shared data
  spardyn('chandlediagnewmark', {c.st, c.M, c.K}, c.model, c.u, c.v, c.a, [0 0]);
  expect_equal(before(1), int32(0), 'the mass arrives unmarked');
  expect_equal(c.M.ir(1), int32(-1), 'the diagonal marker stays in the caller''s structure');
  expect_true(any(c.u ~= 0), 'the run moved the state');
  expect_equal(spardyn('chandleget'), zeros(0, 1), 'nothing was registered');

  c = small_run();
  refused(c, {c.st, c.M, 7}, 'handle vector element 3 is not a structure', 'a number in the cell');
  refused(c, {c.st, rmfield(c.M, 'type'), c.K}, ...
          'handle vector element 2 has no numeric field "type"', 'no type');
  m = c.M; m.type = 'mass';
  refused(c, {c.st, m, c.K}, 'handle vector element 2 has no numeric field "type"', 'a text type');
  m.type = [];
  refused(c, {c.st, m, c.K}, 'handle vector element 2 has no numeric field "type"', 'an empty type');
  m.type = 4;
  refused(c, {c.st, m, c.K}, 'Not a valid chandle type', 'an unknown type code');
  refused(c, {c.st, c.M, struct('type', {})}, ...
          'handle vector element 3 is not a structure', 'an empty structure array');
end

function c = small_run()
  N = 3; h = 0.01; m = [1; 2; 3];
  K = sparse([20 -10 0; -10 20 -10; 0 -10 10]);
  t = (0:5) * h;
  c.st = newmark_stepper(m, [], K, h, 0.25, 0.5, [0; 0; 1], newmark_time_table(t, ones(1, 6)));
  c.M = sparse_description(spdiags(m, 0, N, N)); c.M.type = 2;
  c.K = sparse_description(K); c.K.type = 1;
  c.model = struct();
  c.u = zeros(N, 1); c.v = zeros(N, 1); c.a = zeros(N, 1);
end

function refused(c, handles, message, label)
  u = c.u + 0;
  expect_error(@() spardyn('chandlediagnewmark', handles, c.model, u, c.v + 0, c.a + 0, [0 0]), ...
               'VRK:spardyn:NonHandle', message, label);
  expect_equal(u, c.u, [label ': state untouched']);
end
