function test_nl_laws()
% The term builders of m/ and the laws they select, through "residual":
% forces on the right DOFs, steps of tables, states kept in u, and a
% two-branch Maxwell mount against its complex stiffness.
  if ~has_handles(), skip_file('no handle objects in this flavour'); return; end
  spardyn('chandleclear');
  law_codes();
  springs_and_tables();
  % The builders make the Linux forms of the slider and contact laws; the
  % Windows x64 forms are tested in test_win64_laws.m.
  if ~strcmp(flavor(), 'win64')
    slider_in_u();
    contact_elements();
  end
  maxwell_two_branches();
  refused_parameters();
  spardyn('chandleclear');
end

function [r, s] = evaluate(term, u, v, tc)
  if nargin < 4, tc = 0; end
  h = spardyn('chandleset', 1003, term);
  r = zeros(size(u));
  spardyn('residual', r, chandle(h), u, v, zeros(size(u)), struct('tc', tc));
  s = spardyn('chandleget', h);
  spardyn('chandleclear', h);
end

function law_codes()
  expect_equal(nl_law_code('Power'), 491328597840, 'Power');
  expect_equal(nl_law_code('Clima2'), 55394028842051, 'Clima2');
  expect_equal(nl_law_code('sts'), 7566451, 'sts');
  expect_error(@() nl_law_code('STS'), 'VRK:spardyn:Invalid', [], 'STS is not a law name');
end

function springs_and_tables()
  u = [0.5; 2; -1; 1] + 0; v = zeros(4, 1);
  r = evaluate(nl_power(4, [2 3; 1 0], 3, 3), u, v);
  f = 3 * [3; 0.5].^3;
  expect_near(r, [f(2); f(1); -f(1); 0], 1e-14, 'cubic springs between DOFs and to ground');
  r = evaluate(nl_expon(4, [4 0], 2, 3), u, v);
  expect_near(r, [0; 0; 0; 6], 1e-14, 'exponential spring');
  % A force that jumps at x = 1: the mean on the step, linear elsewhere.
  tb = nl_table(4, [4 0; 1 0; 2 0], [0 1 1 2], [0 5 7 9]);
  [r, s] = evaluate(tb, u, v);
  expect_near(r, [2.5; 9; 0; 6], 1e-14, 'table with a step');
  expect_equal(s.opt(end - 2), 2, 'the cursor remembers the last row');
end

% Spring 100 in series with a slider of threshold 0.5 from DOF 1 to ground;
% the slider position is u(3).
function slider_in_u()
  t = nl_slider(3, [1 0], 3, 100, 0.5);
  u = [0.004; 0; 0] + 0; v = zeros(3, 1);
  [r, s] = evaluate(t, u + 0, v, 1e-3);
  expect_near(r, [0.4; 0; 0], 1e-14, 'sticks below the threshold');
  u = [0.007; 0; 0] + 0;
  r = evaluate(t, u, v, 1e-3);
  expect_near(u(3), 0.002, 1e-15, 'slides to keep 0.5 in the spring');
  expect_near(r, [0.5; 0; 0], 1e-14, 'the force at the threshold');
  u(1) = 0.0065;  % 0.45 from the slid position: sticks
  r = evaluate(t, u, v, 1e-3);
  expect_near(r, [0.45; 0; 0], 1e-14, 'the next evaluation starts from the slid position');
end

% Two contacts of a 9-DOF model against ground, states in u(10 … 13);
% table: normal force 0 below g = 1, 5 then 7 across a step at 1, 9 at 2;
% tangential stiffness 10, then 30 across the same step.
function contact_elements()
  tab = [0 0 10; 1 5 10; 1 7 30; 2 9 30];
  t = nl_contact(13, [1 0; 4 0], [2 0; 5 0], [3 0; 6 0], 10, tab, 0.5, ...
                 'kspring', 2, 'offset', 1, 'h', 0.1);
  u = [0.1; 0.2; 1; -0.1; 0.3; 1.5; 0; 0; 0; 0; 0; 0; 3.9] + 0;
  v = [1; -1; 0; 1; 1; 0; zeros(7, 1)];
  r = evaluate(t, u, v);
  z = [2; -2; 3; 3.975];  % Dahl steps, worked by hand
  expect_near(u(10:13), z, 1e-12, 'friction states written back to u');
  f = [z(1) - 0.2; z(2) - 0.4; 6 - 2 - 1; z(3) + 0.2; z(4) - 0.6; 8 - 3 - 1];
  expect_near(r, [f; zeros(7, 1)], 1e-12, 'two tangential and a normal force per contact');
end

% Mount k0 + two Maxwell branches driven by x = X*sin(w t): after the
% transient f = Im(K(w) X e^{iwt}), K(w) = k0 + sum kj*i*w*tj/(1 + i*w*tj).
function maxwell_two_branches()
  k0 = 10; kb = [40 25]; cb = [4 12.5]; w = 2 * pi; X = 0.01;
  perT = 2000; h = 2 * pi / w / perT;
  t = nl_maxwell(1, [1 0], k0, kb, cb, h, 'nsub', 2);
  id = spardyn('chandleset', 1003, t);
  n = 6 * perT; f = zeros(1, n); tt = (1:n) * h;
  for j = 1:n
    r = zeros(1);
    spardyn('residual', r, chandle(id), X * sin(w * tt(j)), X * w * cos(w * tt(j)), zeros(1));
    f(j) = r;
  end
  spardyn('chandleclear', id);
  Kw = k0 + sum(kb .* (1i * w * cb ./ kb) ./ (1 + 1i * w * cb ./ kb));
  last = n - 2 * perT + 1:n;
  Kfit = 1i * 2 * sum(f(last) .* exp(-1i * w * tt(last))) / numel(last) / X;
  expect_near(real(Kfit) / abs(Kw), real(Kw) / abs(Kw), 3e-3, 'storage stiffness');
  expect_near(imag(Kfit) / abs(Kw), imag(Kw) / abs(Kw), 3e-3, 'loss stiffness');
end

function refused_parameters()
  expect_error(@() nl_dahl(4, [5 0], 4, 1, 1), 'VRK:spardyn:Invalid', [], 'DOF beyond ndof');
  expect_error(@() nl_dahl(4, [1 0], 5, 1, 1), 'VRK:spardyn:Invalid', [], 'state beyond ndof');
  expect_error(@() nl_dahl(4, [1 0], 4, 1, 1, 'alpa', 2), 'VRK:spardyn:Invalid', [], 'misspelt option');
  expect_error(@() nl_table(4, [1 0], [0 2 1], [0 1 2]), 'VRK:spardyn:Invalid', [], 'decreasing x');
  expect_error(@() nl_maxwell(2, [1 0], 1, [1 2], 1, 1e-3), 'VRK:spardyn:Invalid', [], ...
               'branches without dashpots');
end
