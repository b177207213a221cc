function test_win64_laws()
% The Windows x64 forms of the laws "DahlC", "sts" and "Clima2" through
% "residual": each against a hand-worked example and against a
% transcription in Octave over a run of evaluations, the checks of their
% blocks, and the work the slider chain returns over a displacement cycle.
% Every term observes u through the identity (unl = u), so the states the
% law writes back to u are read again at the next evaluation.
  spardyn('chandleclear');
  dahl_branches();
  slider_chain();
  slider_chain_returns_work();
  contact_states_without_spring();
  refused_blocks();
  spardyn('chandleclear');
end

% A term on n DOFs observing u and v through c (the identity unless given)
% and injecting its outputs through b (n x n); outputs in "snl", slices of
% "unl" and "vnl".
function t = term(n, b, opt, iopt, slices, c)
  if nargin < 6, c = speye(n); end
  t = struct('b', sparse_description(b, true), 'c', sparse_description(c, true), ...
             'unl', zeros(n, 1, slices), 'vnl', zeros(n, 1, slices), 'snl', zeros(n, 1), ...
             'opt', opt(:), 'iopt', int32(iopt(:)));
end

% Blocks of `before` observed values and `nstate` states in unl, nb of
% them; in u the observed values of all blocks first, then the states of
% all blocks, as the state write-back places them.  P*u is the unl order.
function [P, states] = block_layout(before, nstate, nb)
  n = nb * (before + nstate);
  order = zeros(n, 1);
  for k = 0:nb - 1
    o = k * (before + nstate);
    order(o + (1:before)) = k * before + (1:before);
    order(o + before + (1:nstate)) = nb * before + k * nstate + (1:nstate);
  end
  P = sparse(1:n, order, 1, n, n);
  states = nb * before + 1:n;
end

% Runs evaluations of a registered term with fresh observed values and
% rates, comparing r and the states written back to u with what the
% transcription law(U, V) gives from the module's own u before each call.
function err = against(h, law, P, states, B, steps, moves)
  n = rows(P); u = zeros(n, 1); err = 0;
  [at, ~] = find(P(:, states));          % where unl holds each state
  for k = 1:steps
    [u, v] = moves(u, n);
    [S, U] = law(P * u, P * v);
    expected = u; expected(states) = U(at);
    [r, u] = evaluate(h, u, v);
    err = max([err; abs(r - B.' * S); abs(u - expected)]);
  end
end

% One evaluation of a registered term: r, and u after the states are
% written back.
function [r, u] = evaluate(h, u, v)
  r = zeros(size(u));
  u = u + 0;
  spardyn('residual', r, chandle(h), u, v, zeros(size(u)));
end

% --- DahlC: blocks of b + 1 values, b branches at the block's slip rate -----

% Blocks of 3 values: [x, z1, z2] with the branches (sigma, exponent, F)
% p(4:6) and p(7:9) (1-based here), h = p(3).
function [S, U] = dahl_reference(p, U, V, b)
  h = p(3); S = zeros(size(U));
  for o = 1:b + 1:numel(U)
    w = V(o); total = 0;
    for i = 0:b - 1
      sigma = p(3 * i + 4); e = p(3 * i + 5); F = p(3 * i + 6);
      z = U(o + 1 + i);
      g = 1; if ~(w > 0), g = -1; end
      B = 1 - g * z / F;
      if B > 0, z = z + B^e * (w * h * sigma); end
      z = max(-F, min(F, z));
      U(o + 1 + i) = z; total = total + z;
    end
    S(o) = total;
  end
end

function dahl_branches()
  p = [nl_law_code('DahlC'), 0, 0.1, 10, 1, 1, 20, 2, 2];
  b = [1 0 0; zeros(2, 3)];             % S(1) onto DOF 1
  h = spardyn('chandleset', 1003, term(3, b, p, [-1 1 1 2 1], 2));
  [r, u] = evaluate(h, [0; 0; 0], [1; 0; 0]);
  expect_equal(u, [0; 1; 2], 'DahlC, two branches: states 1 and 2 at their limits');
  expect_equal(r, [3; 0; 0], 'DahlC, two branches: the force is their sum');
  [r, u] = evaluate(h, u, [-1; 0; 0]);
  expect_equal(u, [0; -1; -2], 'DahlC: slipping back, 1 - 2 and 2 - 8 clipped to -2');
  expect_equal(r, [-3; 0; 0], 'DahlC: the force reverses');
  spardyn('chandleclear', h);

  % Two blocks of two branches against the transcription, 40 evaluations.
  p = [nl_law_code('DahlC'), 0, 0.02, 50, 1.5, 2, 120, 1, 1.5];
  [P, states] = block_layout(1, 2, 2);
  B = sparse([1 4], [1 2], [1 1], 6, 6);        % S(1), S(4) onto DOFs 1, 2
  h = spardyn('chandleset', 1003, term(6, B, p, [-1 2 1 2 2], 3, P));
  randn('seed', 3);
  err = against(h, @(U, V) dahl_reference(p, U, V, 2), P, states, B, 40, @moves_two);
  expect_true(err < 1e-13, sprintf('DahlC, two blocks: 40 evaluations as transcribed (error %g)', err));
  spardyn('chandleclear', h);
end

% --- STS: a chain of sliders per block, as the Windows module has it -----------

function [S, U] = sts_reference(p, U, V, b)
  h = p(3); S = zeros(size(U));
  for o = 1:b + 1:numel(U)
    cs = 1 / p(5); n = 0;
    for i = 0:b - 1
      f = U(o + i) * p(5 + 2 * i) - p(7 + 2 * i) * U(o + i + 1);
      if p(6 + 2 * i) > abs(f) || f * V(o) < 0, break; end
      cs = cs + 1 / p(7 + 2 * i); n = n + 1;
    end
    e = V(o) * h / cs;
    for j = 1:n
      U(o + j) = U(o + j) + e / p(5 + 2 * j);
    end
    S(o) = U(o + 1) * p(5) + U(o) * p(4);
  end
end

function slider_chain()
  % Links (p4 1, p5 0.5, p6 2) and (p6 2, p7 0.5, p8 4), h 1, p3 0.25.
  p = [nl_law_code('sts'), 0, 1, 0.25, 1, 0.5, 2, 0.5, 4];
  b = [1 0 0; zeros(2, 3)];
  h = spardyn('chandleset', 1003, term(3, b, p, [-1 1 1 2 1], 1));
  [r, u] = evaluate(h, [3; 1; 0], [1; 0; 0]);
  % Both links at their thresholds: cs = 1 + 1/2 + 1/4, e = 4/7.
  expect_near(u, [3; 1 + 2/7; 1/7], 1e-15, 'sts chain: both sliders move');
  expect_near(r, [9/7 + 0.75; 0; 0], 1e-15, 'sts chain: S = p4*U(2) + p3*U(1)');
  [r, u] = evaluate(h, [2; 1; 0], [1; 0; 0]);
  expect_equal(u, [2; 1; 0], 'sts chain: a slack first link holds the chain');
  spardyn('chandleclear', h);

  % Two blocks of two sliders against the transcription, 60 evaluations.
  p = [nl_law_code('sts'), 0, 0.05, 0.3, 2, 0.2, 3, 0.1, 5];
  [P, states] = block_layout(1, 2, 2);
  B = sparse([1 4], [1 2], [1 1], 6, 6);
  h = spardyn('chandleset', 1003, term(6, B, p, [-1 2 1 2 2], 1, P));
  randn('seed', 5);
  err = against(h, @(U, V) sts_reference(p, U, V, 2), P, states, B, 60, @moves_two);
  expect_true(err < 1e-13, sprintf('sts, two blocks: 60 evaluations as transcribed (error %g)', err));
  [~, u] = evaluate(h, [4; -4; 0; 0; 0; 0], [1; -1; 0; 0; 0; 0]);
  % Each first link at its threshold; the second links slack.
  expect_true(all(u(states([1 3])) ~= 0) && all(u(states([2 4])) == 0), ...
              'sts, two blocks: the first slider of each block moves');
  spardyn('chandleclear', h);
end

% The observed values of two blocks wander, their rates are fresh.
function [u, v] = moves_two(u, n)
  u(1:2) = u(1:2) + 0.3 * randn(2, 1);
  v = zeros(n, 1); v(1:2) = randn(2, 1);
end

% x = A sin(t) over two cycles of 2000 steps, p4 = p6 = 1, p5 = 0.5, p3 = 0:
% the steady loop between y = -(A - 0.5)/3 and its opposite is run
% backwards, its work 2*(2*A*ymin + (A - ymin - 0.5)^2/4) is negative.
function slider_chain_returns_work()
  per = 2000;
  for A = [2 5]
    p = [nl_law_code('sts'), 0, 2 * pi / per, 0, 1, 0.5, 1];
    h = spardyn('chandleset', 1003, term(2, [1 0; 0 0], p, [-1 1 1 1 1], 1));
    u = [0; 0]; W = 0; x0 = 0; s0 = 0;
    for k = 0:2 * per
      t = 2 * pi * k / per;
      u(1) = A * sin(t);
      [r, u] = evaluate(h, u, [A * cos(t); 0]);
      if k > per, W = W + 0.5 * (s0 + r(1)) * (u(1) - x0); end
      x0 = u(1); s0 = r(1);
    end
    spardyn('chandleclear', h);
    ymin = -(A - 0.5) / 3;
    exact = 2 * (2 * A * ymin + (A - ymin - 0.5)^2 / 4);
    expect_true(W < 0, sprintf('sts at amplitude %g: negative work per cycle (%g)', A, W));
    expect_near(W, exact, 1e-2, sprintf('sts at amplitude %g: work per cycle %g', A, exact));
  end
end

% --- Clima2: the states free of the spring, stiffness p(8) ---------------------

% Elements of 5 values [t1 t2 g z1 z2]; opt(8) the spring, the table from
% opt(9): g, normal force, tangential stiffness.
function [S, U] = clima_reference(p, U, V, table, S)
  h = p(3); mu = p(6); e = p(5);
  for o = 1:5:numel(U)
    T0 = interp1(table(:, 1), table(:, 2), U(o + 2), 'linear', 'extrap');
    T1 = interp1(table(:, 1), table(:, 3), U(o + 2), 'linear', 'extrap');
    Fm = mu * T0;
    z1 = dahl(U(o + 3), U(o + 3) / Fm, V(o), h, T1, e, Fm);
    z2 = dahl(U(o + 4), (U(o + 4) / mu) / T0, V(o + 1), h, T1, e, Fm);
    S(o:o + 2) = [z1; z2; T0];
    U(o + 3:o + 4) = [z1; z2];
  end
  for o = 1:5:numel(U)
    S(o:o + 1) = S(o:o + 1) - p(8) * U(o:o + 1);
    S(o + 2) = S(o + 2) - (p(8) * U(o + 2) + p(7));
  end
end

function z = dahl(z, ratio, w, h, k, e, F)
  g = 1; if ~(w > 0), g = -1; end
  B = 1 - g * ratio;
  if B > 0, z = z + w * h * k * B^e; end
  z = max(-F, min(F, z));
end

function contact_states_without_spring()
  table = [0 0 10; 2 20 10];
  p = [nl_law_code('Clima2'), 0, 0.1, 99, 1, 0.5, 1, 2, table(:)', 0, 0, 0];
  t = term(5, speye(5), p, [0 3 3 2 1 8 14 2 2], 2);
  h = spardyn('chandleset', 1003, t);
  r = zeros(5, 1); u = [0.2; -0.1; 1; 0; 0];
  spardyn('residual', r, chandle(h), u, [1; -1; 0; 0; 0], zeros(5, 1));
  % gap 1: T0 = 10, T1 = 10, Fm = 5; z1 = 1, z2 = -1.
  expect_near(r, [1 - 2 * 0.2; -1 + 2 * 0.1; 10 - (2 * 1 + 1); 0; 0], 1e-15, ...
              'Clima2: outputs less the spring p(8) and the offset');
  expect_equal(u(4:5), [1; -1], 'Clima2: the states are the friction forces, no spring');
  spardyn('chandleclear', h);

  % Two elements against the transcription, 30 evaluations; the outputs
  % S(4:5) of each element are never written (zero).
  table = [-1 0 5; 0 0 5; 1 40 20; 3 100 30];
  p = [nl_law_code('Clima2'), 0, 0.01, 99, 1.5, 0.3, 0.5, 4, table(:)', 0, 0, 0];
  [P, states] = block_layout(3, 2, 2);
  B = speye(10);
  h = spardyn('chandleset', 1003, term(10, B, p, [-1 6 3 2 2 8 8 + numel(table), 4, 2], 2, P));
  randn('seed', 9); rand('seed', 9);
  err = against(h, @(U, V) clima_reference(p, U, V, table, zeros(10, 1)), P, states, B, 30, ...
                @moves_contact);
  expect_true(err < 1e-12, sprintf('Clima2, two elements: 30 evaluations as transcribed (error %g)', err));
  spardyn('chandleclear', h);
end

% Two tangential displacements and a gap in contact per element, fresh.
function [u, v] = moves_contact(u, n)
  u(1:6) = [0.1 * randn(2, 1); 0.5 + rand; 0.1 * randn(2, 1); 0.5 + rand];
  v = zeros(n, 1); v([1 2 4 5]) = randn(4, 1);
end

% --- the checks of the blocks ---------------------------------------------------------

function refused_blocks()
  u = zeros(3, 1); v = [1; 0; 0];
  p = [nl_law_code('DahlC'), 0, 0.1, 10, 1, 1, 20, 2, 2];
  bad = term(3, speye(3), p, [-1 1 1 -1 1], 2);
  expect_error_naming(@() residual_of(bad, u, v), 'VRK:spardyn:Invalid', 'iopt[3]', ...
                      'DahlC with a negative number of branches');
  bad = term(3, speye(3), p, [-1 1 1 1 1], 2);        % blocks of 2 in 3 values
  expect_error_naming(@() residual_of(bad, u, v), 'VRK:spardyn:Invalid', 'multiple', ...
                      'DahlC: Nnl not a multiple of the block');
  bad = term(3, speye(3), p, [-1 1 1 2 1], 1);
  expect_error(@() residual_of(bad, u, v), 'VRK:spardyn:empty', 'Incorrect unl', ...
               'DahlC with a two-dimensional unl');
  p = [nl_law_code('sts'), 0, 0.1, 0, 1, 0.5, 1];
  bad = term(1, speye(1), p, [-1 0 1 0 1], 1);        % no slider: U(o+1) outside
  expect_error_naming(@() residual_of(bad, 0, 1), 'VRK:spardyn:Invalid', 'at least 1', ...
                      'sts with blocks of one value');
  bad = term(3, speye(3), p, [-1 0 1 2 1], 1);        % two links read p(9)
  expect_error_naming(@() residual_of(bad, u, v), 'VRK:spardyn:WrongSize', 'opt', ...
                      'sts: opt too short for the chain');
  p = [nl_law_code('Clima2'), 0, 0.1, 99, 1, 0.5, 1, 2, 0, 2, 0, 20, 10, 10, 0, 0, 0];
  bad = rmfield(term(5, speye(5), p, [-1 0 3 2 1 8 14 2 2], 2), 'snl');
  expect_error_naming(@() residual_of(bad, zeros(5, 1), zeros(5, 1)), 'VRK:spardyn:Invalid', ...
                      'snl', 'Clima2 writing its outputs over its observations');
  bad = term(5, speye(5), p, [-1 0 3 2 1 7 14 2 2], 2);  % the table over p(8)
  expect_error_naming(@() residual_of(bad, zeros(5, 1), zeros(5, 1)), 'VRK:spardyn:Invalid', ...
                      'table', 'Clima2: table over the spring');
end

function residual_of(t, u, v)
  h = spardyn('chandleset', 1003, t);
  spardyn('residual', zeros(size(u)), chandle(h), u + 0, v, zeros(size(u)));
end
