function hmax = stable_step_of(g, beta, gamma)
% The positive root of ((gamma/2 - beta)+ rho + beta sigma) h^2
% + gamma sigma_c h = 1, from the Gershgorin data g of newmark_bounds
% (see newmark_stable_step); beta may be a vector.
  A = max(gamma / 2 - beta, 0) * g.rho + beta * g.sigma;
  B = gamma * g.sigma_c;
  hmax = 2 ./ (B + sqrt(B^2 + 4 * A));     % Inf when A = B = 0
end
