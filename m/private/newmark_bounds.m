function g = newmark_bounds(M, K, C, caller)
% The Gershgorin data of a model that the stable step and the frequency
% error are computed from, read once (each is a pass over K):
%   m        the lumped mass, a column
%   rho      >= the largest eigenvalue of M^-1 K (>= omega_max^2)
%   sigma    >= the largest eigenvalue of M^-1 (K - diag K)
%   sigma_c  >= the largest eigenvalue of M^-1 (C - diag C) (0: C diagonal)
%   lambdaK  >= the largest eigenvalue of M^-1 (diag K - K): the smaller of
%            max(k_ii/m_i) (K is positive semi-definite) and sigma
%   lambdaC  the same for C
  if nargin < 4, caller = 'newmark_stable_step'; end
  N = rows(K);
  if ~(ismatrix(K) && issquare(K) && N > 0)
    error('%s: K must be a square N x N stiffness matrix, is %s', caller, size_text(K));
  end
  m = lumped_mass(M, N, caller);
  [g.rho, g.sigma, dmax] = gershgorin(K, m);
  g.m = m;
  g.sigma_c = 0;
  dcmax = 0;
  if ~isempty(C)
    if isvector(C) && numel(C) == N && ~(N == 1 && issparse(C))
      dcmax = max([0; full(double(C(:))) ./ m]);
    elseif isequal(size(C), [N N])
      [~, g.sigma_c, dcmax] = gershgorin(C, m);
    else
      error('%s: C must be %d x %d or a vector of %d diagonal entries, is %s', ...
            caller, N, N, N, size_text(C));
    end
  end
  g.lambdaK = min(dmax, g.sigma);
  g.lambdaC = min(dcmax, g.sigma_c);
end

function m = lumped_mass(M, N, caller)
  if isvector(M) && numel(M) == N
    m = full(double(M(:)));
  elseif isequal(size(M), [N N])
    if nnz(M - diag(diag(M))) > 0
      error('%s: M must be a lumped (diagonal) mass; this one has off-diagonal entries', caller);
    end
    m = full(double(diag(M)));
  else
    error('%s: M must be a vector of %d masses or a diagonal %d x %d matrix, is %s', ...
          caller, N, N, N, size_text(M));
  end
  if any(~(m > 0))
    error('%s: the diagonal mass must be positive', caller);
  end
end

% rho >= max eigenvalue of M^-1 A, sigma >= that of M^-1 (A - diag A): the
% largest absolute row sums, with and without the diagonal; dmax the largest
% a_ii / m_i.
function [rho, sigma, dmax] = gershgorin(A, m)
  d = full(diag(A));
  absrow = full(sum(abs(A), 2));
  offrow = absrow - abs(d);
  rho = max(absrow ./ m);
  sigma = max(offrow ./ m);
  dmax = max([0; d ./ m]);
end

function s = size_text(A)
  s = sprintf('%d x %d', rows(A), columns(A));
end
