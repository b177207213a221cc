function [err, info] = newmark_frequency_error(M, K, beta, gamma, h, C, varargin)
% NEWMARK_FREQUENCY_ERROR  How far the stepper's lowest natural frequencies
% are from the model's.
%
%   err = newmark_frequency_error(M, K, beta, gamma, h) estimates the
%   relative error of the lowest natural frequencies of a run of spardyn's
%   diagonal Newmark stepper with the lumped mass M (vector or diagonal
%   matrix), the stiffness K, Newmark's beta and gamma and the step h:
%   err = -0.08 means 8 % too low (periods 8.7 % too long).
%   newmark_frequency_error(M, K, beta, gamma, h, C) includes the damping
%   matrix C (with Rayleigh damping: rayM*M + rayK*K plus any explicit C).
%
%   [err, info] = newmark_frequency_error(..., 'modes', n) computes the
%   error of each of the n lowest modes instead (eigs; a column of n
%   values); info.omega holds their frequencies (rad/s).
%
%   Where the error comes from: the stepper divides the residual by the
%   diagonal of M + gamma h C + beta h^2 K, which makes it Newmark's method
%   on the effective mass
%       Meff = M - beta h^2 (K - diag K) - gamma h (C - diag C).
%   For a smooth, low mode phi, phi'(diag K - K)phi is nearly phi' diag K phi,
%   so Meff is heavier than M by the factor
%       mu = 1 + beta h^2 (s - omega^2) + gamma h (s_c - c),
%   s = phi' diag(K) phi / phi'M phi, s_c, c the same for diag C and C, and
%   the frequency falls to omega / sqrt(mu).  Newmark's own period error,
%   (beta - 1/12) (omega h)^2 / 2 for gamma = 1/2, adds to it (it is small
%   for the lowest modes).
%
%   Without 'modes' the estimate is a bound for the lowest modes
%   (omega h << 1): with lambdaK >= every phi'(diag K - K)phi / phi'M phi,
%   the smaller of max(k_ii/m_i) and the Gershgorin off-diagonal row sum
%   that newmark_stable_step uses, and lambdaC likewise for C,
%       err = 1 / sqrt(1 + beta h^2 lambdaK + gamma h lambdaC) - 1.
%   It costs two passes over K and is close to the modal value on regular
%   meshes (where k_ii/m_i hardly varies); it is conservative on graded
%   ones.  With 'modes', each mode's mu is its Rayleigh quotient and the
%   error is that of Newmark's method on the resulting single degree of
%   freedom, damping included (NaN for an overdamped mode).  eigs factors
%   K: keep it for models of up to some 10^4 DOF.  DOFs without stiffness
%   (internal states of non-linear terms) are left out of the modes.
%
%   Example (a chain of 100 unit masses and springs 1e4, at 0.9 x the
%   stable step):
%     K = 1e4 * spdiags(ones(100, 1) * [-1 2 -1], -1:1, 100, 100);
%     h = 0.9 * newmark_stable_step(ones(100, 1), K, 0.25, 0.5);
%     newmark_frequency_error(ones(100, 1), K, 0.25, 0.5, h)   % -0.257
%
%   See also newmark_accurate_step, newmark_stable_step.
  if nargin < 5
    error('newmark_frequency_error: M, K, beta, gamma and h are needed');
  end
  if nargin < 6, C = []; end
  o = struct('modes', 0);
  if mod(numel(varargin), 2) || (numel(varargin) && ~strcmp(varargin{1}, 'modes'))
    error('newmark_frequency_error: the only option is ''modes'', n');
  end
  if numel(varargin), o.modes = varargin{2}; end
  if ~(isscalar(h) && h > 0 && isfinite(h))
    error('newmark_frequency_error: the step h must be a positive number');
  end
  if ~(isscalar(beta) && beta >= 0 && isscalar(gamma) && gamma >= 0)
    error('newmark_frequency_error: beta and gamma must be non-negative numbers');
  end
  if o.modes > 0
    [err, info] = modal_error(M, K, C, beta, gamma, h, o.modes);
  else
    g = newmark_bounds(M, K, C, 'newmark_frequency_error');
    mu = 1 + beta * h^2 * g.lambdaK + gamma * h * g.lambdaC;
    err = 1 / sqrt(mu) - 1;
    info = struct('method', 'bound', 'mu', mu, 'lambdaK', g.lambdaK, ...
                  'lambdaC', g.lambdaC);
  end
end

function [err, info] = modal_error(M, K, C, beta, gamma, h, n)
  g = newmark_bounds(M, K, C, 'newmark_frequency_error');   % checks shapes
  m = g.m;
  N = rows(K);
  if isempty(C), C = sparse(N, N); end
  if isvector(C), C = spdiags(C(:), 0, N, N); end
  keep = find(full(any(K, 2)));        % DOFs that carry stiffness
  K = K(keep, keep); C = C(keep, keep); m = m(keep);
  n = min(n, numel(keep));
  Ms = spdiags(m, 0, numel(m), numel(m));
  if numel(keep) <= 400
    [V, D] = eig(full(K), full(Ms));
  else
    % A small negative shift keeps eigs working for a free structure.
    shift = -1e-9 * max(full(diag(K)) ./ m);
    [V, D] = eigs(K, Ms, n, shift);
  end
  [w2, order] = sort(real(diag(D)));
  V = V(:, order);
  rigid = w2 <= 1e-9 * max(full(diag(K)) ./ m);
  V = V(:, ~rigid); w2 = w2(~rigid);
  n = min(n, numel(w2));
  V = V(:, 1:n); w2 = w2(1:n);
  dK = full(diag(K)); dC = full(diag(C));
  err = zeros(n, 1); mu = zeros(n, 1);
  for i = 1:n
    p = V(:, i);
    pm = p.' * (m .* p);
    s = p.' * (dK .* p) / pm;
    sc = p.' * (dC .* p) / pm;
    c = p.' * (C * p) / pm;
    mu(i) = 1 + beta * h^2 * (s - w2(i)) + gamma * h * (sc - c);
    err(i) = newmark_sdof_frequency(mu(i), c, w2(i), beta, gamma, h) ...
             / sqrt(w2(i) - c^2 / 4) - 1;
  end
  info = struct('method', 'modes', 'omega', sqrt(w2), 'mu', mu);
end

% Damped frequency of Newmark's method on mu x'' + c x' + k x = 0: the angle
% of the complex eigenvalues of the step's amplification matrix, over h.
function w = newmark_sdof_frequency(mu, c, k, beta, gamma, h)
  P = [1, h, (0.5 - beta) * h^2; 0, 1, (1 - gamma) * h];   % predictor
  a1 = -[k, c] * P / (mu + gamma * h * c + beta * h^2 * k);
  A = [P(1, :) + beta * h^2 * a1; P(2, :) + gamma * h * a1; a1];
  lambda = eig(A);
  lambda = lambda(abs(imag(lambda)) > 0);
  if isempty(lambda) || c^2 / 4 >= k
    w = NaN;
  else
    w = abs(angle(lambda(1))) / h;
  end
end
