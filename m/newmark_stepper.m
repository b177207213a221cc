function st = newmark_stepper(M, C, K, h, beta, gamma, F, tft)
% NEWMARK_STEPPER  The description of a diagonal Newmark stepper (type 2000).
%
%   st = newmark_stepper(M, C, K, h, beta, gamma, F) builds the structure that
%   spardyn('chandlediagnewmark', ...) steps with, for a constant step h and
%   Newmark's parameters beta, gamma (1/4 and 1/2: average acceleration):
%
%     "type"  2000
%     "r"     N x (Nb+2): column 1 unused (zeros), columns 2..Nb+1 the load
%             shapes -F (the stepper adds them to the residual M a + C v + K u,
%             so -F makes the loads act as +F), column Nb+2 the correction
%             factors beta h^2 ./ (m + gamma h c + beta h^2 k)
%     "data"  [h, (1/2-beta) h^2, (1-gamma) h, gamma/(beta h), 1/(beta h^2), 0];
%             the module writes the current time into element 6
%     "tft"   the time table (see newmark_time_table), when given as 8th input
%
%   M, C, K are the mass, damping and stiffness matrices (sparse or full), or
%   vectors holding their diagonals; only their diagonals enter the
%   correction.  C may be [].  With Rayleigh damping [rayM rayK] passed to
%   the module, pass C = rayM*M + rayK*K here (plus any explicit damping).
%   F is N x Nb, one column per load shape (Nb >= 1; zeros(N,1) for none).
%
%   The correction divides the residual by a diagonal effective matrix: the
%   step is explicit, and stable only below the step newmark_stable_step
%   returns.
%
%   Example:
%     st = newmark_stepper(M, [], K, 1e-5, 1/4, 1/2, F);
%     st.tft = newmark_time_table(0:1e-5:1e-2, @(t) sin(100*t));
  if nargin < 7
    error('newmark_stepper: M, C, K, h, beta, gamma and F are needed');
  end
  if ~(isscalar(h) && h > 0 && isfinite(h))
    error('newmark_stepper: the step h must be a positive number');
  end
  if ~(isscalar(beta) && beta > 0)
    error('newmark_stepper: beta must be positive (the correction divides by beta h^2)');
  end
  if ~(isscalar(gamma) && gamma >= 0)
    error('newmark_stepper: gamma must be a non-negative number');
  end
  N = model_size(K, M);
  if ~(isnumeric(F) && ismatrix(F) && rows(F) == N && columns(F) >= 1)
    error(['newmark_stepper: F must be N x Nb, one column per load shape (zeros(N,1) for ' ...
           'none), with N = %d (the size of %s); it is %d x %d'], N, ...
          ifelse(isvector(K) && ~isscalar(K) || ~isvector(K), 'K', 'M'), rows(F), columns(F));
  end
  m = diagonal_of(M, N, 'M');
  k = diagonal_of(K, N, 'K');
  c = zeros(N, 1);
  if ~isempty(C), c = diagonal_of(C, N, 'C'); end
  effective = m + gamma * h * c + beta * h^2 * k;
  if any(~(effective > 0))
    error('newmark_stepper: m + gamma h c + beta h^2 k must be positive on every row');
  end
  st = struct('type', 2000, ...
              'r', [zeros(N, 1), -full(F), beta * h^2 ./ effective], ...
              'data', [h, (0.5 - beta) * h^2, (1 - gamma) * h, ...
                       gamma / (beta * h), 1 / (beta * h^2), 0]);
  if nargin >= 8, st.tft = tft; end
end

% The number of DOFs: the size of K (a square matrix or the vector of its
% diagonal), or, for a single DOF given as scalars, of M.
function N = model_size(K, M)
  for A = {K, M}
    A = A{1};
    if isnumeric(A) && ismatrix(A) && issquare(A) && rows(A) > 1
      N = rows(A); return;
    elseif isnumeric(A) && isvector(A) && numel(A) > 1
      N = numel(A); return;
    end
  end
  N = 1;
end

function d = diagonal_of(A, N, name)
  if isvector(A) && numel(A) == N && ~(N == 1 && issparse(A))
    d = full(double(A(:)));
  elseif isequal(size(A), [N N])
    d = full(diag(A));
  else
    error('newmark_stepper: %s must be %d x %d or a vector of %d diagonal entries', name, N, N, N);
  end
end
