function s = sparse_term(type, A)
% SPARSE_TERM  The description of a sparse matrix term of a handle vector.
%
%   s = sparse_term(type, A) is sparse_description(A) with the field "type":
%   1 stiffness, 2 mass, 3 damping.  As an element of the cell handle vector
%   of "residual" or "chandlediagnewmark" it is a term for one call; given
%   to spardyn('chandleset', type, s) it is registered.  A matrix with one
%   stored entry per column (a lumped mass) is taken as diagonal.
%
%   Example:
%     handles = {stepper, sparse_term(2, spdiags(m, 0, n, n)), sparse_term(1, K)};
  s = sparse_description(A);
  s.type = type;
end
