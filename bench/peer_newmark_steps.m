function [u, v, a, uva] = peer_newmark_steps(K, m, shape, corr, factors, d, rayM, u, v, a)
% The stepper's step as a vectorised Octave loop, one step per load factor:
% start copy, predictor, load, residual of the diagonal mass and of K (its
% fused transposed product, written inside a named function), corrector.
  for j = 1:numel(factors)
    uva = [u; v; a];
    u = (d(2) * a + d(1) * v) + u;
    v = d(3) * a + v;
    a = zeros(size(a));
    w = shape * factors(j) + m .* (a + rayM * v) + K.' * u;
    delta = w .* corr;
    u = u - delta;
    v = v - d(4) * delta;
    a = a - d(5) * delta;
  end
  uva = [uva; w];
end
